#pragma once

#include <QLoggingCategory>

// What the simulator did: sectors written, faults fired, the end of an update. Off unless
// the program turns it on, so tests stay quiet.
Q_DECLARE_LOGGING_CATEGORY(lcSim)
