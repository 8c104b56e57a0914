#include "sim/Pacer.h"

#include <algorithm>
#include <cmath>

namespace tarvel::sim {

namespace {
constexpr qint64 kUnpacedAllowance = 1 << 16;
constexpr double kBurstSeconds = 0.01;  // what a pause may save up
}  // namespace

Pacer::Pacer(double bytesPerSecond)
    : rate_(bytesPerSecond),
      burst_(std::max(1.0, bytesPerSecond * kBurstSeconds)),
      credit_(burst_) {
    clock_.start();
}

void Pacer::refill() {
    const qint64 now = clock_.nsecsElapsed();
    credit_ = std::min(burst_, credit_ + (now - lastNs_) * 1e-9 * rate_);
    lastNs_ = now;
}

qint64 Pacer::allowance() {
    if (!paced())
        return kUnpacedAllowance;
    refill();
    return static_cast<qint64>(std::floor(credit_));
}

void Pacer::consume(qint64 bytes) {
    if (paced())
        credit_ -= static_cast<double>(bytes);
}

// Waiting for half a burst keeps the wake-ups few without starving the line.
int Pacer::millisecondsToRefill() {
    if (!paced())
        return 1;
    refill();
    const double missing = std::max(1.0, burst_ / 2) - credit_;
    return std::max(1, static_cast<int>(std::ceil(missing / rate_ * 1000)));
}

}  // namespace tarvel::sim
