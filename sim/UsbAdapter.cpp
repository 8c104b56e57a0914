#include "sim/UsbAdapter.h"

#include <utility>

namespace tarvel::sim {

UsbAdapter::UsbAdapter(int latencyMs) : latencyMs_(latencyMs) {
    timer_.setSingleShot(true);
    timer_.setTimerType(Qt::PreciseTimer);
    QObject::connect(&timer_, &QTimer::timeout, [this] {
        if (expired)
            expired(drain());
    });
}

QByteArray UsbAdapter::take(const QByteArray& bytes) {
    if (latencyMs_ <= 0)
        return bytes;
    held_.append(bytes);
    const qsizetype whole = held_.size() / kPacketPayload * kPacketPayload;
    if (whole == 0) {
        if (!timer_.isActive())
            timer_.start(latencyMs_);
        return {};
    }
    // Fewer than a packet waited before, so what is left came just now: its time starts now.
    const QByteArray packets = held_.left(whole);
    held_.remove(0, whole);
    if (held_.isEmpty())
        timer_.stop();
    else
        timer_.start(latencyMs_);
    return packets;
}

QByteArray UsbAdapter::drain() {
    timer_.stop();
    return std::exchange(held_, QByteArray());
}

}  // namespace tarvel::sim
