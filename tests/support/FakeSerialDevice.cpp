#include "tests/support/FakeSerialDevice.h"

#include "tests/support/VirtualTime.h"

namespace tarvel::test {

bool FakeSerialDevice::open(const QString& path, QString* error) {
    if (open_ || !presentPaths.contains(path) || busyPaths.contains(path)) {
        if (error)
            *error = busyPaths.contains(path) ? QStringLiteral("%1 is busy").arg(path)
                                              : QStringLiteral("%1 does not exist").arg(path);
        return false;
    }
    open_ = true;
    path_ = path;
    openLog_ << path;
    return true;
}

void FakeSerialDevice::close() {
    open_ = false;
    incoming_.clear();
    pending_ = 0;
    ++session_;
}

QByteArray FakeSerialDevice::readAll() {
    return std::exchange(incoming_, {});
}

QByteArray FakeSerialDevice::read(qint64 maxSize) {
    const QByteArray result = incoming_.left(maxSize);
    incoming_.remove(0, result.size());
    return result;
}

bool FakeSerialDevice::write(const QByteArray& data) {
    if (!open_)
        return false;
    sent_ += data;
    pending_ += data.size();
    auto onLine = [this, data, session = session_] {
        if (session != session_)
            return;
        auto reported = [this, size = data.size(), session] {
            if (session == session_)
                pending_ -= size;
        };
        if (writeReportedLate > 0)
            time_.after(writeReportedLate, reported);
        else
            reported();
        if (peer)
            peer(data);
    };
    if (lineBytesPerSecond > 0)
        time_.after(data.size() / lineBytesPerSecond, onLine);
    else
        onLine();
    return true;
}

void FakeSerialDevice::deliver(const QByteArray& bytes, double delay) {
    time_.after(delay, [this, bytes, session = session_] {
        if (!open_ || session != session_)
            return;
        incoming_ += bytes;
        if (onReadyRead)
            onReadyRead();
    });
}

void FakeSerialDevice::vanish() {
    presentPaths.remove(path_);
    if (open_ && onFailure)
        onFailure(QStringLiteral("device removed"));
}

}  // namespace tarvel::test
