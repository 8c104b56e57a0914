#pragma once

#include "platform/SerialDevice.h"

#include <QByteArray>
#include <QSet>
#include <QStringList>

#include <functional>

namespace tarvel::test {

class VirtualTime;

// A serial device on virtual time. Which paths open is up to the test; what the host writes is
// handed to the peer, and the peer's bytes arrive after a delay in the pieces it chooses. With a
// line rate set, each write reaches the peer, and bytesToWrite() falls to 0, after its line time.
class FakeSerialDevice : public SerialDevice {
  public:
    explicit FakeSerialDevice(VirtualTime& time) : time_(time) {}

    QSet<QString> presentPaths;
    QSet<QString> busyPaths;
    double lineBytesPerSecond = 0;  // 0: writes reach the peer at once
    // Seconds after the peer has a write's bytes until the driver says it is done, as an
    // overlapped write's completion on Windows may come after the reply it caused.
    double writeReportedLate = 0;
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
    void vanish();

    const QStringList& openLog() const { return openLog_; }
    QString openPath() const { return open_ ? path_ : QString(); }
    const QByteArray& sent() const { return sent_; }

  private:
    VirtualTime& time_;
    bool open_ = false;
    QString path_;
    QStringList openLog_;
    QByteArray incoming_;
    QByteArray sent_;
    qint64 pending_ = 0;
    int session_ = 0;  // bytes on their way belong to the session that sent them
};

}  // namespace tarvel::test
