#pragma once

#include "sim/RecordedExchange.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace tarvel::sim {

// The module's side of a recorded exchange, played back: it waits for the host to send what the
// host sent then, and answers as the module answered then, after the recorded delays. Where the
// host sends anything else it says where the two part and falls silent, as it does when the
// recording ends.
class ExchangeReplay {
  public:
    // source names the recording in what it reports. speed scales the recorded delays (0: at
    // once). bytesPerSecond is the pace of the line, 0 when unpaced.
    ExchangeReplay(RecordedExchange recording, QString source, double speed, double bytesPerSecond);

    // How the replay reaches its line and its clock.
    std::function<void(const QByteArray& bytes)> transmit;
    std::function<void(double delaySeconds, std::function<void()> action)> schedule;
    std::function<double()> now;  // seconds on a steady clock

    // Sends what the module sent before the host's first byte.
    void start();
    // Bytes from the host, in arrival order (any split).
    void receive(const QByteArray& bytes);
    // The host has closed its port: says how its bytes ended. Returns whether the host sent
    // everything recorded and nothing else before the recording ended.
    bool hostClosed();

    bool diverged() const { return diverged_; }

  private:
    void answerUpTo(qsizetype hostOffset);
    void markDue(quint64 id);
    void noteEnd();
    void diverge(const QByteArray& received);
    // "at offset N of the host's bytes, T s after its first byte (recorded: R s), line L of FILE"
    QString place(qsizetype offset) const;

    RecordedExchange recording_;
    QString source_;
    double speed_;
    double bytesPerSecond_;

    qsizetype matched_ = 0;    // host bytes that came as recorded
    qsizetype beyondEnd_ = 0;  // host bytes after the recorded ones
    int nextAnswer_ = 0;
    double firstByteAt_ = -1;
    bool diverged_ = false;
    bool ended_ = false;

    // Answers waiting for their delay; the line keeps the order they were recorded in.
    struct Pending {
        quint64 id = 0;
        QByteArray bytes;
        bool due = false;
    };
    QList<Pending> pending_;
    quint64 nextId_ = 0;
};

}  // namespace tarvel::sim
