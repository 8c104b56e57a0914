#include "platform/qt/QtSerialDevice.h"

#include "platform/qt/AdapterLatency.h"
#include "platform/qt/QtFileSystem.h"

#include <QFile>

#include <cerrno>

#ifndef Q_OS_WIN
#include <grp.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvel {

namespace {

#ifndef Q_OS_WIN
// The device Qt opens for a port name: "ttyUSB0" is /dev/ttyUSB0.
QByteArray systemLocation(const QString& path) {
    const bool relative = !path.startsWith(QLatin1Char('/')) &&
                          !path.startsWith(QLatin1String("./")) &&
                          !path.startsWith(QLatin1String("../"));
    return QFile::encodeName(relative ? QStringLiteral("/dev/") + path : path);
}
#endif

// Each reason names its cause once: the window and the command line put it after "<port> cannot
// be opened: ".
QString describeOpenFailureOf(QSerialPort::SerialPortError error, const QString& path,
                              const QString& systemReason) {
    if (error == QSerialPort::DeviceNotFoundError)
        return describeOpenFailure(OpenFailure::Missing, path, QString());
#ifndef Q_OS_WIN
    const QByteArray name = systemLocation(path);
    // Qt reports a regular file, a FIFO or /dev/null by the terminal call that fails on it, and
    // a file the user may not write as a permission problem: what stands there tells better.
    const QString kind = QtFileSystem::entryKind(name);
    if (!kind.isEmpty() && kind != QLatin1String("a character device"))
        return QStringLiteral("%1 is not a serial device (%2)").arg(path, kind);
    if (error == QSerialPort::UnsupportedOperationError)
        return QStringLiteral("%1 is not a serial device (a character device but no terminal)")
            .arg(path);
#endif
    if (error == QSerialPort::PermissionError) {
        // Qt says "permission" both for a device that another program holds and for one the
        // user may not use; the access rights tell the two apart.
#ifdef Q_OS_WIN
        return describeOpenFailure(OpenFailure::Busy, path, QString());
#else
        if (::access(name.constData(), R_OK | W_OK) == 0)
            return describeOpenFailure(OpenFailure::Busy, path, QString());
        // Joining a group helps neither root, whom the rights do not stop, nor against a
        // read-only file system.
        if (errno == EACCES && ::geteuid() != 0) {
            QString owningGroup;
            struct stat info {};
            if (::stat(name.constData(), &info) == 0) {
                if (const struct group* owner = ::getgrgid(info.st_gid))
                    owningGroup = QString::fromLocal8Bit(owner->gr_name);
            }
            return describeOpenFailure(OpenFailure::NoPermission, path, owningGroup);
        }
#endif
    }
    return systemReason.isEmpty() ? describeOpenFailure(OpenFailure::Other, path, QString())
                                  : systemReason;
}

}  // namespace

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
    latencyTimer_.reset();
    if (port_.open(QIODevice::ReadWrite)) {
#ifndef Q_OS_WIN
        // Qt's lock goes by the port's name, and the terminal's exclusive mode does not stop
        // root: another name of the same device (a by-id link, /dev/pts/./3) would let two
        // exchanges meet on one module. A lock on the device itself holds whatever its name.
        if (::flock(int(port_.handle()), LOCK_EX | LOCK_NB) != 0) {
            port_.close();
            if (error)
                *error = describeOpenFailure(OpenFailure::Busy, path, QString());
            return false;
        }
#endif
#ifdef Q_OS_LINUX
        // Each reply is a few bytes that the next command waits for: every millisecond a
        // driver or adapter holds them back counts.
        requestLowLatency(port_.handle());
        latencyTimer_ = lowerLatencyTimer(path);
#endif
        return true;
    }
    if (error)
        *error = describeOpenFailureOf(port_.error(), path, port_.errorString());
    port_.clearError();
    return false;
}

void QtSerialDevice::close() {
    port_.close();
    latencyTimer_.reset();
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
    return describeOpenFailureOf(error, path, QString());
}

QString describeOpenFailure(OpenFailure failure, const QString& path, const QString& group) {
    switch (failure) {
        case OpenFailure::Missing:
            return QStringLiteral("%1 does not exist (is the adapter plugged in?)").arg(path);
        case OpenFailure::Busy:
            return QStringLiteral("%1 is busy: another program holds it").arg(path);
        case OpenFailure::NoPermission:
            return QStringLiteral(
                       "no permission to use %1: add the user to the group %2 "
                       "(sudo adduser $USER %2), then log in again")
                .arg(path,
                     group.isEmpty() ? QStringLiteral("that owns it (dialout on Debian)") : group);
        case OpenFailure::Other:
            break;
    }
    return QStringLiteral("the system gives no reason");
}

}  // namespace tarvel
