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
    incoming_.clear();  // like a real open, which flushes what waited before it
    pending_ = 0;
    ++session_;
    return true;
}

void FakeSerialDevice::close() {
    open_ = false;
    incoming_.clear();
    pending_ = 0;
    ++session_;
}

QByteArray FakeSerialDevice::readAll() {
    QByteArray result;
    result.swap(incoming_);
    return result;
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
    const int session = session_;
    auto onLine = [this, data, session] {
        if (session != session_)
            return;
        pending_ -= data.size();
        if (peer)
            peer(data);
    };
    pending_ += data.size();
    if (lineBytesPerSecond > 0)
        time_.after(data.size() / lineBytesPerSecond, onLine);
    else
        onLine();
    return true;
}

void FakeSerialDevice::deliver(const QByteArray& bytes, double delay) {
    const int session = session_;
    time_.after(delay, [this, bytes, session] {
        if (!open_ || session != session_)
            return;
        incoming_ += bytes;
        ++readyReadSignals_;
        if (onReadyRead)
            onReadyRead();
    });
}

void FakeSerialDevice::vanish(const QString& reason) {
    presentPaths.remove(path_);
    if (open_ && onFailure)
        onFailure(reason);
}

ScriptedPeer::ScriptedPeer(FakeSerialDevice& device) : device_(device) {
    device_.peer = [this](const QByteArray& bytes) {
        received_ += bytes;
        unmatched_ += bytes;
        for (Rule& rule : rules_) {
            if (rule.used && !rule.repeat)
                continue;
            const int at = unmatched_.indexOf(rule.trigger);
            if (at < 0)
                continue;
            unmatched_.remove(0, at + rule.trigger.size());
            rule.used = true;
            device_.deliver(rule.answer, rule.delay);
            break;
        }
    };
}

ScriptedPeer& ScriptedPeer::reply(const QByteArray& trigger, const QByteArray& answer, double delay,
                                  bool repeat) {
    rules_.append({trigger, answer, delay, repeat, false});
    return *this;
}

}  // namespace tarvel::test
