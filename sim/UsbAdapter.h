#pragma once

#include <QByteArray>
#include <QTimer>

#include <functional>

namespace tarvel::sim {

// The USB serial adapter between the module's line and the host: bytes off the line wait in the
// adapter until its latency timer, started by the first waiting byte, runs out, or until they
// fill a USB packet; then they go on to the host together.
class UsbAdapter {
  public:
    // The payload of one USB packet besides the adapter's two status bytes.
    static constexpr int kPacketPayload = 62;

    // latencyMs <= 0: no adapter, bytes go on at once.
    explicit UsbAdapter(int latencyMs);

    // Takes bytes off the line; returns those that go on at once (whole packets).
    QByteArray take(const QByteArray& bytes);
    // Everything waiting, at once; used before the line ends.
    QByteArray drain();

    // The latency timer ran out: the waiting bytes go on.
    std::function<void(const QByteArray& bytes)> expired;

  private:
    int latencyMs_;
    QByteArray held_;
    QTimer timer_;
};

}  // namespace tarvel::sim
