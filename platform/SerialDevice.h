#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tarvel {

// One serial device, opened by path, always at 115200 baud, 8 data bits, no parity, 1 stop bit.
class SerialDevice {
  public:
    virtual ~SerialDevice() = default;

    // Opens the device; on failure returns false and a reason for the technician.
    virtual bool open(const QString& path, QString* error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;

    virtual qint64 bytesAvailable() const = 0;
    virtual QByteArray readAll() = 0;
    virtual QByteArray read(qint64 maxSize) = 0;
    // Queues the bytes for sending; bytesToWrite() falls back to 0 once they have been handed
    // to the operating system's driver.
    virtual bool write(const QByteArray& data) = 0;
    virtual qint64 bytesToWrite() const = 0;
    // The latency timer in ms of the open USB adapter, after the attempt to lower it; nothing
    // when the device has none (or it cannot be seen).
    virtual std::optional<int> latencyTimerMs() const { return std::nullopt; }

    // New bytes have arrived (delivered by the event pump).
    std::function<void()> onReadyRead;
    // The open device failed for good (unplugged adapter, read or write error).
    std::function<void(const QString& reason)> onFailure;
};

}  // namespace tarvel
