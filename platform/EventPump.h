#pragma once

#include <functional>

namespace tarvel {

// Runs the window's pending events (timer ticks, received characters, clicks, repaints) from
// inside a long operation, which is how the single-threaded program stays responsive.
class EventPump {
  public:
    virtual ~EventPump() = default;
    // Handles what is pending now and returns without blocking.
    virtual void processPending() = 0;
    // Blocks until at least one event has been handled or maxSeconds have passed, whichever
    // comes first. Costs no CPU while nothing happens.
    virtual void waitForEvents(double maxSeconds) = 0;
    // Runs fn from the event loop once the handler that is running now has returned.
    virtual void post(std::function<void()> fn) = 0;
};

}  // namespace tarvel
