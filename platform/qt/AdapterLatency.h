#pragma once

#include <QString>

#include <optional>

namespace tarvel {

// Asks the serial driver of the open descriptor to hand received bytes on at once (Linux's
// low-latency flag). Drivers without the flag, such as a pseudo-terminal's, refuse; that is fine.
void requestLowLatency(int fd);

// A USB serial adapter holds received bytes until its latency timer runs out (16 ms unless set
// otherwise), which the acknowledged transfer pays twice a block. Where sysfs shows the timer of
// the adapter behind devicePath (a symbolic link such as /dev/serial/by-id/... is followed), a
// timer above 1 ms is set to 1 ms if we may write it. Returns the timer in ms as it is
// afterwards, or nothing when the device has none. sysfsRoot is where sysfs is mounted.
std::optional<int> lowerLatencyTimer(const QString& devicePath,
                                     const QString& sysfsRoot = QStringLiteral("/sys"));

}  // namespace tarvel
