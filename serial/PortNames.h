#pragma once

#include <QString>

namespace tarvel {

class SettingsStore;

// Device path of "Com n". On Windows that is COMn. Elsewhere the settings store maps it
// (section "Ports", key "COMn"), so that a technician can point Com3 at /dev/ttyUSB0; without
// an entry Com n is the n-th on-board port, /dev/ttyS<n-1>.
QString devicePathForPort(const SettingsStore& settings, int port);

}  // namespace tarvel
