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

// An idle line saves up no more than a burst; one busy with waiting bytes carries them on
// whether anybody takes them or not.
void Pacer::refill() {
    const qint64 now = clock_.nsecsElapsed();
    credit_ = std::min(burst_ + waiting_, credit_ + (now - lastNs_) * 1e-9 * rate_);
    lastNs_ = now;
}

qint64 Pacer::allowance() {
    if (!paced())
        return kUnpacedAllowance;
    refill();
    return static_cast<qint64>(std::floor(credit_));
}

void Pacer::consume(qint64 bytes) {
    if (!paced())
        return;
    refill();
    credit_ -= static_cast<double>(bytes);
    waiting_ = 0;
}

void Pacer::setWaiting(qint64 bytes) {
    if (!paced())
        return;
    refill();
    waiting_ = static_cast<double>(std::max<qint64>(0, bytes));
}

// Waiting for half a burst keeps the wake-ups few without starving the line.
int Pacer::millisecondsToRefill() {
    return millisecondsUntil(static_cast<qint64>(std::max(1.0, burst_ / 2)));
}

int Pacer::millisecondsUntil(qint64 bytes) {
    if (!paced())
        return 1;
    refill();
    const double missing = static_cast<double>(bytes) - credit_;
    return std::max(1, static_cast<int>(std::ceil(missing / rate_ * 1000)));
}

}  // namespace tarvel::sim
