#pragma once

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
};

}  // namespace tarvel
