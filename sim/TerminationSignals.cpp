#include "sim/TerminationSignals.h"

#include <csignal>
#include <utility>

#include <fcntl.h>
#include <unistd.h>

namespace tarvel::sim {

namespace {

int writeEnd = -1;

void notePending(int) {
    const char byte = 1;
    [[maybe_unused]] const ssize_t ignored = ::write(writeEnd, &byte, 1);
}

}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)) {
    int fds[2];
    if (::pipe(fds) != 0)
        return;
    readEnd_ = fds[0];
    writeEnd = fds[1];
    for (int fd : fds)
        fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);

    notifier_ = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    QObject::connect(notifier_.get(), &QSocketNotifier::activated, [this] {
        char drained[16];
        while (::read(readEnd_, drained, sizeof drained) > 0) {
        }
        if (onSignal_)
            onSignal_();
    });

    struct sigaction action {};
    action.sa_handler = notePending;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

TerminationSignals::~TerminationSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
    notifier_.reset();
    if (readEnd_ >= 0)
        ::close(readEnd_);
    if (writeEnd >= 0)
        ::close(writeEnd);
    writeEnd = -1;
}

}  // namespace tarvel::sim
