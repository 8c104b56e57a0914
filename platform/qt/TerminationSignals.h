#pragma once

#include <QObject>

#include <functional>
#include <memory>

namespace tarvel {

// Turns SIGTERM and SIGINT (Ctrl+C), and on POSIX systems SIGHUP and SIGPIPE, into a call on the
// event loop, where the program can close
// its port, save its state and end cleanly; a signal handler itself may do next to nothing. One
// instance per program. On POSIX systems the handler writes to a pipe that the event loop
// watches; on Windows, whose event loop cannot watch a pipe, a timer looks at a flag.
class TerminationSignals {
  public:
    explicit TerminationSignals(std::function<void()> onSignal);
    ~TerminationSignals();
    TerminationSignals(const TerminationSignals&) = delete;
    TerminationSignals& operator=(const TerminationSignals&) = delete;

  private:
    std::function<void()> onSignal_;
    int readEnd_ = -1;
    std::unique_ptr<QObject> watcher_;
};

}  // namespace tarvel
