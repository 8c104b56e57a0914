#pragma once

#include "update/ImageCheck.h"

namespace tarvel {

// What an update of an image costs: the bytes the host sends, and the seconds it takes at
// 115200 baud 8N1 with a module that answers at once. The seconds are the time on the line of
// the host's bytes and of the module's replies the host waits for, plus the update's own
// pauses; a module that takes time to write its flash adds that on top.
// 115200 baud, ten bits a byte (start, eight data, stop).
constexpr double kLineBytesPerSecond = 11520;

struct UpdateForecast {
    qint64 bytesToModule = 0;
    double seconds = 0;
};

UpdateForecast forecastRequest(qint64 sectors);
// probes: those sent until the module answers, its own included.
UpdateForecast forecastAck(const WalkCounts& walk, int probes);

}  // namespace tarvel
