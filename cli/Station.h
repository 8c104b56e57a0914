#pragma once

#include <QStringList>

namespace tarvel {

class SettingsStore;

// tarvel-update station: the update of the modules on many ports at once, one child process
// `tarvel-update update --json` per port; the ports from --port, else from the settings
// ([Station] Ports=). arguments: the program's, "station" second. Returns the exit status: 0
// when every port's update succeeded, else the worst of theirs (worseExitStatus).
int runStation(const QStringList& arguments, SettingsStore& settings);

}  // namespace tarvel
