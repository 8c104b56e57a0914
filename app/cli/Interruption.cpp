#include "app/cli/Interruption.h"

#include <QTimer>

#include <csignal>

namespace tarvel {

namespace {
volatile std::sig_atomic_t interrupted = 0;

extern "C" void raiseFlag(int) {
    interrupted = 1;
}

// How often the event loop looks at the flag: quick enough for a technician, free for the CPU.
constexpr int kPollMs = 50;
}  // namespace

Interruption::Interruption(std::function<void()> onInterrupt)
    : onInterrupt_(std::move(onInterrupt)) {
    std::signal(SIGINT, raiseFlag);
    std::signal(SIGTERM, raiseFlag);
    auto* timer = new QTimer;
    QObject::connect(timer, &QTimer::timeout, [this, timer] {
        if (!interrupted)
            return;
        timer->stop();
        timer->deleteLater();
        onInterrupt_();
    });
    timer->start(kPollMs);
}

bool Interruption::happened() const {
    return interrupted != 0;
}

}  // namespace tarvel
