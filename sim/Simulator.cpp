#include "sim/Simulator.h"

#include "sim/SimLog.h"

#include <QCoreApplication>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>

namespace tarvel::sim {

namespace {
constexpr int kExitAfterDoneMs = 500;
constexpr int kExitAfterHangUpMs = 100;
constexpr int kFlushTimeoutMs = 500;
constexpr int kTestRequestIntervalMs = 1000;

int milliseconds(double seconds) {
    return std::max(0, static_cast<int>(std::lround(seconds * 1000)));
}
}  // namespace

Simulator::Simulator(SimOptions options)
    : options_(std::move(options)),
      model_(options_.module),
      line_(options_.bytesPerSecond, options_.adapterLatencyMs) {
    model_.transmit = [this](const QByteArray& bytes) { transmit(bytes); };
    model_.schedule = [this](double delay, std::function<void()> action) {
        schedule(delay, std::move(action));
    };
    model_.hangUp = [this] { hangUp(); };
    line_.received = [this](const QByteArray& bytes) { received(bytes); };
    savedFlash_ = model_.flash();
}

bool Simulator::start(QString* error) {
    line_.setLink(options_.link);
    if (!line_.open(error))
        return false;
    if (options_.module.kind == ModuleConfig::Kind::TestMode) {
        // A pseudo-terminal does not tell when the host opens it, so the request is repeated
        // until the host has answered.
        testRequests_.setInterval(kTestRequestIntervalMs);
        QObject::connect(&testRequests_, &QTimer::timeout, [this] {
            if (!model_.testPassed())
                model_.startTestMode();
        });
        QTimer::singleShot(milliseconds(options_.testModeDelay), &timers_, [this] {
            if (model_.testPassed())
                return;
            model_.startTestMode();
            testRequests_.start();
        });
    }
    return true;
}

void Simulator::schedule(double delaySeconds, std::function<void()> action) {
    QTimer::singleShot(milliseconds(delaySeconds), Qt::PreciseTimer, &timers_, std::move(action));
}

void Simulator::received(const QByteArray& bytes) {
    model_.receive(bytes);
    noteProgress();
}

void Simulator::transmit(const QByteArray& bytes) {
    line_.write(bytes);
    noteProgress();
}

void Simulator::noteProgress() {
    // The model's flash is shared with the saved copy until the model writes to it, so a
    // write shows as the two no longer sharing their data.
    if (!model_.flash().isSharedWith(savedFlash_))
        saveFlash();
    const bool done = model_.finished() || model_.testPassed();
    if (done)
        testRequests_.stop();
    if (done && options_.exitWhenDone && !ending_) {
        ending_ = true;
        QTimer::singleShot(kExitAfterDoneMs, &timers_, [this] { stop("done"); });
    }
}

void Simulator::hangUp() {
    qCInfo(lcSim, "hanging up the line");
    line_.close();
    testRequests_.stop();
    saveFlash();
    ending_ = true;
    QTimer::singleShot(kExitAfterHangUpMs, &timers_, [] { QCoreApplication::exit(0); });
}

void Simulator::stop(const char* reason) {
    qCInfo(lcSim, "exiting: %s", reason);
    line_.flush(kFlushTimeoutMs);
    saveFlash();
    QCoreApplication::exit(0);
}

// Written aside and renamed, so a reader never sees half a flash.
void Simulator::saveFlash() {
    savedFlash_ = model_.flash();
    if (options_.flashFile.isEmpty())
        return;
    const QString temporary = options_.flashFile + ".tmp";
    QFile file(temporary);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(savedFlash_) != savedFlash_.size() || !file.flush()) {
        qCWarning(lcSim, "cannot write %s: %s", qPrintable(temporary),
                  qPrintable(file.errorString()));
        return;
    }
    file.close();
    if (std::rename(QFile::encodeName(temporary).constData(),
                    QFile::encodeName(options_.flashFile).constData()) != 0)
        qCWarning(lcSim, "cannot rename %s", qPrintable(temporary));
}

}  // namespace tarvel::sim
