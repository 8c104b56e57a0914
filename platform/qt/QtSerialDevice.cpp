#include "platform/qt/QtSerialDevice.h"

namespace tarvel {

QtSerialDevice::QtSerialDevice() {
    QObject::connect(&port_, &QSerialPort::readyRead, [this] {
        if (onReadyRead)
            onReadyRead();
    });
    QObject::connect(&port_, &QSerialPort::errorOccurred,
                     [this](QSerialPort::SerialPortError error) { handleError(error); });
}

bool QtSerialDevice::open(const QString& path, QString* error) {
    port_.setPortName(path);
    port_.setBaudRate(QSerialPort::Baud115200);
    port_.setDataBits(QSerialPort::Data8);
    port_.setParity(QSerialPort::NoParity);
    port_.setStopBits(QSerialPort::OneStop);
    port_.setFlowControl(QSerialPort::NoFlowControl);
    if (port_.open(QIODevice::ReadWrite))
        return true;
    if (error)
        *error = describeOpenError(port_.error(), path);
    port_.clearError();
    return false;
}

bool QtSerialDevice::write(const QByteArray& data) {
    return port_.write(data) == data.size();
}

// A vanished adapter makes QSerialPort report read or resource errors without end; the device
// is then closed once and the failure reported.
void QtSerialDevice::handleError(QSerialPort::SerialPortError error) {
    if (!port_.isOpen())
        return;
    switch (error) {
        case QSerialPort::ResourceError:
        case QSerialPort::ReadError:
        case QSerialPort::WriteError: {
            const QString reason = port_.errorString();
            port_.clearError();
            port_.close();
            if (onFailure)
                onFailure(reason);
            break;
        }
        default:
            break;
    }
}

QString describeOpenError(QSerialPort::SerialPortError error, const QString& path) {
    switch (error) {
        case QSerialPort::DeviceNotFoundError:
            return QStringLiteral("%1 does not exist").arg(path);
        case QSerialPort::PermissionError:
            return QStringLiteral("%1 is busy or access is denied").arg(path);
        default:
            return QStringLiteral("%1 cannot be opened").arg(path);
    }
}

}  // namespace tarvel
