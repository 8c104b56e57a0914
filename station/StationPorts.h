#pragma once

#include <QString>
#include <QStringList>

namespace tarvel {

class SettingsStore;

// The ports of a station, as given (source: "--port", "Ports= in [Station]"): each once, COM names
// in capitals, in ports; or why not. A port is compared by the device it leads to, so that two
// names of one module (a by-id link and /dev/ttyUSB0, a COM name and its device) never start two
// updates on it.
QString stationPortsProblem(const QStringList& given, const QString& source,
                            const SettingsStore& settings, QStringList* ports);

// Ports= in section [Station] of the settings, split at commas and spaces.
QStringList stationPortsSetting(const SettingsStore& settings);

// The device a station's port leads to: COMn as the settings map it, else the path itself.
QString stationPortDevice(const QString& port, const SettingsStore& settings);

}  // namespace tarvel
