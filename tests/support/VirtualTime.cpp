#include "tests/support/VirtualTime.h"

#include <cmath>
#include <stdexcept>

namespace tarvel::test {

quint32 VirtualTime::tickCount() const {
    return tickBase_ + static_cast<quint32>(static_cast<std::uint64_t>(std::llround(now_ * 1000)));
}

void VirtualTime::at(double time, std::function<void()> fn) {
    queue_.emplace(std::make_pair(time, sequence_++), std::move(fn));
}

void VirtualTime::runDue() {
    while (!queue_.empty() && queue_.begin()->first.first <= now_) {
        auto node = queue_.extract(queue_.begin());
        node.mapped()();
    }
}

void VirtualTime::processPending() {
    runDue();
}

void VirtualTime::waitForEvents(double maxSeconds) {
    if (++waits_ > waitLimit_)
        throw std::runtime_error("runaway wait loop on virtual time");
    if (!queue_.empty() && queue_.begin()->first.first <= now_) {
        runDue();
        return;
    }
    double deadline = now_ + std::max(0.0, maxSeconds);
    // A wait shorter than the clock's resolution must still let time move on.
    if (maxSeconds > 0 && deadline <= now_)
        deadline = std::nextafter(now_, now_ + 1.0);
    if (!queue_.empty() && queue_.begin()->first.first <= deadline) {
        now_ = queue_.begin()->first.first;
        runDue();
    } else {
        now_ = deadline;
    }
}

void VirtualTime::advance(double seconds) {
    const double end = now_ + seconds;
    while (!queue_.empty() && queue_.begin()->first.first <= end) {
        now_ = std::max(now_, queue_.begin()->first.first);
        runDue();
    }
    now_ = end;
}

void VirtualTimer::setEnabled(bool enabled) {
    if (enabled == enabled_)
        return;
    enabled_ = enabled;
    ++generation_;
    if (enabled_)
        schedule();
}

void VirtualTimer::schedule() {
    const int generation = generation_;
    time_.after(intervalMs_ / 1000.0, [this, generation] {
        if (!enabled_ || generation != generation_)
            return;
        ++ticks_;
        schedule();
        if (onTick)
            onTick();
    });
}

}  // namespace tarvel::test
