#pragma once

#include <QString>

class QWidget;

namespace tarvel {

// For a run without a technician (scripts, documentation): after a moment, saves what the
// screen shows of the window to path, closes any open message box and ends the program.
void screenshotAndQuit(QWidget& window, const QString& path, int delayMs);

}  // namespace tarvel
