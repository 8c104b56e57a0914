#pragma once

#include <functional>

namespace tarvel {

// Ctrl+C and SIGTERM end a command-line run cleanly: the signal only raises a flag, and a
// timer of the event loop hands it to onInterrupt, which stops the exchange at its next wait.
class Interruption {
  public:
    explicit Interruption(std::function<void()> onInterrupt);
    bool happened() const;

  private:
    std::function<void()> onInterrupt_;
};

}  // namespace tarvel
