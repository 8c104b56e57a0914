#include "platform/qt/TerminationSignals.h"

#include <csignal>
#include <iterator>
#include <utility>

#ifdef Q_OS_WIN
#include <QTimer>
#else
#include <QSocketNotifier>

#include <fcntl.h>
#include <unistd.h>
#endif

namespace tarvel {

#ifdef Q_OS_WIN

namespace {
volatile std::sig_atomic_t pending = 0;

extern "C" void notePending(int) {
    pending = 1;
}

// How often the event loop looks at the flag: quick enough for a technician, free for the CPU.
constexpr int kPollMs = 50;
}  // namespace

TerminationSignals::TerminationSignals(std::function<void()> onSignal)
    : onSignal_(std::move(onSignal)) {
    auto timer = std::make_unique<QTimer>();
    QObject::connect(timer.get(), &QTimer::timeout, [this] {
        if (!pending)
            return;
        pending = 0;
        if (onSignal_)
            onSignal_();
    });
    timer->start(kPollMs);
    watcher_ = std::move(timer);
    std::signal(SIGINT, notePending);
    std::signal(SIGTERM, notePending);
}

TerminationSignals::~TerminationSignals() {
    std::signal(SIGTERM, SIG_DFL);
    std::signal(SIGINT, SIG_DFL);
}

#else

namespace {
int writeEnd = -1;
// Ctrl+C and SIGTERM; a hang-up (the SSH session closed) and an output that nobody reads any
// more (| head, a viewer that quit), which would otherwise kill the program in the middle of an
// update, with nothing recorded of its end.
constexpr int kSignals[] = {SIGTERM, SIGINT, SIGHUP, SIGPIPE};
struct sigaction before[std::size(kSignals)];

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

    auto notifier = std::make_unique<QSocketNotifier>(readEnd_, QSocketNotifier::Read);
    QObject::connect(notifier.get(), &QSocketNotifier::activated, [this] {
        char drained[16];
        while (::read(readEnd_, drained, sizeof drained) > 0) {
        }
        if (onSignal_)
            onSignal_();
    });
    watcher_ = std::move(notifier);

    struct sigaction action {};
    action.sa_handler = notePending;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (std::size_t at = 0; at < std::size(kSignals); ++at)
        sigaction(kSignals[at], &action, &before[at]);
}

// Each signal as it was before; a write to an output nobody reads then fails with EPIPE instead
// of ending the program, as the record's last words still have to be said.
TerminationSignals::~TerminationSignals() {
    for (std::size_t at = 0; at < std::size(kSignals); ++at) {
        if (kSignals[at] == SIGPIPE)
            std::signal(SIGPIPE, SIG_IGN);
        else
            sigaction(kSignals[at], &before[at], nullptr);
    }
    watcher_.reset();
    if (readEnd_ >= 0)
        ::close(readEnd_);
    if (writeEnd >= 0)
        ::close(writeEnd);
    writeEnd = -1;
}

#endif

}  // namespace tarvel
