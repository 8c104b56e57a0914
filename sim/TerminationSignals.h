#pragma once

#include <QSocketNotifier>

#include <functional>
#include <memory>

namespace tarvel::sim {

// Turns SIGTERM and SIGINT into a call on the event loop, where the program can save its state
// and end cleanly; a signal handler itself may do next to nothing. One instance per program.
class TerminationSignals {
  public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

  private:
    std::function<void()> onSignal_;
    int readEnd_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
};

}  // namespace tarvel::sim
