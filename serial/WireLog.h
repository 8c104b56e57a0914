#pragma once

#include "platform/SerialDevice.h"
#include "serial/WireDirection.h"

#include <QElapsedTimer>

#include <functional>

namespace tarvel {

// A serial device that passes everything through to another one and counts, and optionally
// writes down, every byte both ways: a transcript for diagnosing an update in the field. The
// lines are made here, in the receive handler; whoever keeps them writes them elsewhere, since a
// disk may stall and the line may not.
//
// Each line: milliseconds since the port was first opened (three decimals), the direction (TX
// host to module, RX module to host), up to 16 bytes as upper-case hex, and the printable
// characters between bars, '.' for the others:
//
//     1205.114 TX  58 58 58 58 58 58 58 58 58 58 58 58              |XXXXXXXXXXXX|
class WireLog : public SerialDevice {
  public:
    explicit WireLog(SerialDevice& device);

    // Transcript lines as the bytes pass, each ending with a line break; none when unset.
    std::function<void(const QByteArray& lines)> onTranscript;

    bool open(const QString& path, QString* error) override;
    void close() override { device_.close(); }
    bool isOpen() const override { return device_.isOpen(); }
    qint64 bytesAvailable() const override { return device_.bytesAvailable(); }
    QByteArray readAll() override;
    QByteArray read(qint64 maxSize) override;
    bool write(const QByteArray& data) override;
    qint64 bytesToWrite() const override { return device_.bytesToWrite(); }
    std::optional<int> latencyTimerMs() const override { return device_.latencyTimerMs(); }

    qint64 bytesSent() const { return sent_; }
    // Told of every piece of bytes on the wire, TX to the module or RX from it.
    std::function<void(Direction direction, const QByteArray& bytes)> onBytes;
    qint64 bytesReceived() const { return received_; }

  private:
    void record(Direction direction, const QByteArray& bytes);

    SerialDevice& device_;
    QElapsedTimer since_;
    qint64 sent_ = 0;
    qint64 received_ = 0;
};

// The time column of a transcript line: milliseconds with three decimals, ten characters wide.
QByteArray timeColumn(double milliseconds);
// Transcript lines for bytes on the wire, 16 bytes a line, each ending in a line break.
QByteArray transcriptLines(double milliseconds, Direction direction, const QByteArray& bytes);

}  // namespace tarvel
