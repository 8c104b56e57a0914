#pragma once

#include <QString>

namespace tarvel {

// Where the program keeps what it writes for itself, the record of updates among it:
// $XDG_STATE_HOME/Tarvel_Update_Utility (normally ~/.local/state/...) on Linux,
// %LOCALAPPDATA%\Tarvel_Update_Utility on Windows. The same for the window and the command line.
QString stateFolder();

}  // namespace tarvel
