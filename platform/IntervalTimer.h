#pragma once

#include <functional>

namespace tarvel {

// A repeating timer whose ticks are delivered by the event pump.
class IntervalTimer {
  public:
    virtual ~IntervalTimer() = default;
    virtual void setInterval(int milliseconds) = 0;
    virtual void setEnabled(bool enabled) = 0;
    virtual bool isEnabled() const = 0;

    std::function<void()> onTick;
};

}  // namespace tarvel
