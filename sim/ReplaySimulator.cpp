#include "sim/ReplaySimulator.h"

#include "sim/SimLog.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <utility>

namespace tarvel::sim {

namespace {
constexpr int kFlushTimeoutMs = 500;
}  // namespace

ReplaySimulator::ReplaySimulator(const SimOptions& options)
    : replay_(*options.replay, options.replayFile, options.replaySpeed, options.bytesPerSecond),
      line_(options.bytesPerSecond, options.adapterLatencyMs) {
    replay_.transmit = [this](const QByteArray& bytes) { line_.write(bytes); };
    replay_.schedule = [this](double delaySeconds, std::function<void()> action) {
        const int ms = std::max(0, static_cast<int>(std::lround(delaySeconds * 1000)));
        QTimer::singleShot(ms, Qt::PreciseTimer, &timers_, std::move(action));
    };
    replay_.now = [this] { return clock_.nsecsElapsed() / 1e9; };
    line_.received = [this](const QByteArray& bytes) { received(bytes); };
    line_.hostClosed = [this] { hostClosed(); };
    line_.setLink(options.link);
}

bool ReplaySimulator::start(QString* error) {
    if (!line_.open(error))
        return false;
    clock_.start();
    replay_.start();
    return true;
}

void ReplaySimulator::received(const QByteArray& bytes) {
    // Bytes from the host: it has its end open, so from now on its closing can be seen.
    if (!hostSeen_) {
        hostSeen_ = true;
        line_.releaseHostEnd();
    }
    replay_.receive(bytes);
}

void ReplaySimulator::hostClosed() {
    const bool matched = replay_.hostClosed();
    line_.close();
    QCoreApplication::exit(matched ? 0 : 1);
}

void ReplaySimulator::stop(const char* reason) {
    qCInfo(lcSim, "exiting: %s", reason);
    line_.flush(kFlushTimeoutMs);
    QCoreApplication::exit(replay_.diverged() ? 1 : 0);
}

}  // namespace tarvel::sim
