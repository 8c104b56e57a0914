#pragma once

#include "platform/SerialDevice.h"

#include <QSerialPort>

namespace tarvel {

class QtSerialDevice : public SerialDevice {
  public:
    QtSerialDevice();

    bool open(const QString& path, QString* error) override;
    void close() override;
    bool isOpen() const override { return port_.isOpen(); }
    qint64 bytesAvailable() const override { return port_.bytesAvailable(); }
    QByteArray readAll() override { return port_.readAll(); }
    QByteArray read(qint64 maxSize) override { return port_.read(maxSize); }
    bool write(const QByteArray& data) override;
    qint64 bytesToWrite() const override { return port_.bytesToWrite(); }
    std::optional<int> latencyTimerMs() const override { return latencyTimer_; }

  private:
    void handleError(QSerialPort::SerialPortError error);

    QSerialPort port_;
    std::optional<int> latencyTimer_;
};

// A reason for the technician why a port could not be opened.
QString describeOpenError(QSerialPort::SerialPortError error, const QString& path);

enum class OpenFailure { Missing, Busy, NoPermission, Other };
// group: the group that owns the device, for the hint how to get access.
QString describeOpenFailure(OpenFailure failure, const QString& path, const QString& group);

}  // namespace tarvel
