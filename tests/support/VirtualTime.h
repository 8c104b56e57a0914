#pragma once

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/IntervalTimer.h"

#include <cstdint>
#include <functional>
#include <map>
#include <utility>

namespace tarvel::test {

// A virtual clock that is also the event pump: time moves only when the logic waits for events,
// and it jumps straight to the next scheduled event. A test of a 10-second wait thus runs in
// microseconds, and every time-out is exact.
class VirtualTime : public Clock, public EventPump {
  public:
    double seconds() const override { return now_; }
    quint32 tickCount() const override;

    void processPending() override;
    void waitForEvents(double maxSeconds) override;
    void post(std::function<void()> fn) override { at(now_, std::move(fn)); }

    // Schedules fn at an absolute time or after a delay; events at the same time run in order.
    void at(double time, std::function<void()> fn);
    void after(double delay, std::function<void()> fn) { at(now_ + delay, std::move(fn)); }
    // Lets time pass as the idle window would, running what falls due.
    void advance(double seconds);

    // Where the 32-bit tick counter stands at time 0, to test its wrap.
    void setTickBase(quint32 base) { tickBase_ = base; }
    std::uint64_t waits() const { return waits_; }
    // A wait beyond this many is taken for a runaway loop: the test fails instead of hanging.
    void setWaitLimit(std::uint64_t limit) { waitLimit_ = limit; }

  private:
    void runDue();

    double now_ = 0.0;
    quint32 tickBase_ = 0;
    std::uint64_t sequence_ = 0;
    std::uint64_t waits_ = 0;
    std::uint64_t waitLimit_ = 50'000'000;
    std::map<std::pair<double, std::uint64_t>, std::function<void()>> queue_;
};

// Timer1 on virtual time.
class VirtualTimer : public IntervalTimer {
  public:
    explicit VirtualTimer(VirtualTime& time) : time_(time) {}
    void setInterval(int milliseconds) override { intervalMs_ = milliseconds; }
    void setEnabled(bool enabled) override;
    bool isEnabled() const override { return enabled_; }
    int ticks() const { return ticks_; }

  private:
    void schedule();

    VirtualTime& time_;
    int intervalMs_ = 0;
    bool enabled_ = false;
    int generation_ = 0;
    int ticks_ = 0;
};

}  // namespace tarvel::test
