#pragma once

#include "serial/SerialLink.h"

#include <QString>

#include <optional>

namespace tarvel {

class SettingsStore;

// Device path of "Com n". On Windows that is COMn. Elsewhere the settings store maps it
// (section "Ports", key "COMn"), so that a technician can point Com3 at /dev/ttyUSB0; without
// an entry Com n is the n-th on-board port, /dev/ttyS<n-1>.
QString devicePathForPort(const SettingsStore& settings, int port);

// PORT as a technician names it: COM1 to COM9 (in any letter case) as the window maps them, or
// else a device path. Nothing for another COM name.
std::optional<PortChoice> portChoice(const QString& text);

}  // namespace tarvel
