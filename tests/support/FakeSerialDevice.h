#pragma once

#include "platform/SerialDevice.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>

#include <functional>

namespace tarvel::test {

class VirtualTime;

// A serial device on virtual time. Which paths open is up to the test; what the host writes is
// recorded and handed to the peer; the peer's bytes arrive after a delay, in the pieces it
// chooses. With a line rate set, bytesToWrite() drains as on a real line.
class FakeSerialDevice : public SerialDevice {
  public:
    explicit FakeSerialDevice(VirtualTime& time) : time_(time) {}

    QSet<QString> presentPaths;
    QSet<QString> busyPaths;
    // Bytes per second the line carries; 0 hands writes to the "driver" at once.
    double lineBytesPerSecond = 0;
    // The module at the other end sees every byte the host sends, when it is on the line.
    std::function<void(const QByteArray& bytes)> peer;

    bool open(const QString& path, QString* error) override;
    void close() override;
    bool isOpen() const override { return open_; }
    qint64 bytesAvailable() const override { return incoming_.size(); }
    QByteArray readAll() override;
    QByteArray read(qint64 maxSize) override;
    bool write(const QByteArray& data) override;
    qint64 bytesToWrite() const override { return pending_; }

    // The peer sends bytes that reach the host after delay seconds.
    void deliver(const QByteArray& bytes, double delay = 0);
    // The adapter is pulled out.
    void vanish(const QString& reason = QStringLiteral("device removed"));

    const QStringList& openLog() const { return openLog_; }
    QString openPath() const { return open_ ? path_ : QString(); }
    const QByteArray& sent() const { return sent_; }
    void clearSent() { sent_.clear(); }
    int readyReadSignals() const { return readyReadSignals_; }

  private:
    VirtualTime& time_;
    bool open_ = false;
    QString path_;
    QStringList openLog_;
    QByteArray incoming_;
    QByteArray sent_;
    qint64 pending_ = 0;
    int session_ = 0;
    int readyReadSignals_ = 0;
};

// A module that answers by rule: when what the host sent (since the last match) contains the
// trigger, the reply goes back after the delay.
class ScriptedPeer {
  public:
    explicit ScriptedPeer(FakeSerialDevice& device);
    ScriptedPeer& reply(const QByteArray& trigger, const QByteArray& answer, double delay = 0.01,
                        bool repeat = false);
    const QByteArray& received() const { return received_; }

  private:
    struct Rule {
        QByteArray trigger;
        QByteArray answer;
        double delay;
        bool repeat;
        bool used;
    };
    FakeSerialDevice& device_;
    QByteArray received_;
    QByteArray unmatched_;
    QList<Rule> rules_;
};

}  // namespace tarvel::test
