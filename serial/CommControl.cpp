#include "serial/CommControl.h"

#include "platform/EventPump.h"
#include "platform/SerialDevice.h"

namespace tarvel {

namespace {
// How long one pass of the output wait may block before it looks at the port again.
constexpr double kOutputPollSeconds = 0.05;
}  // namespace

CommControl::CommControl(SerialDevice& device, EventPump& pump) : device_(device), pump_(pump) {
    device_.onReadyRead = [this] { handleReadyRead(); };
    device_.onFailure = [this](const QString& reason) { handleFailure(reason); };
}

QString CommControl::devicePath() const {
    if (!fixedDevice_.isEmpty())
        return fixedDevice_;
    return pathForPort ? pathForPort(commPort_) : QStringLiteral("COM%1").arg(commPort_);
}

QString CommControl::portName() const {
    if (!fixedDevice_.isEmpty())
        return fixedDevice_;
    return QStringLiteral("Com%1 (%2)").arg(commPort_).arg(devicePath());
}

bool CommControl::PortOpen() const {
    return device_.isOpen();
}

bool CommControl::setPortOpen(bool open, QString* error) {
    if (!open) {
        device_.close();
        return true;
    }
    if (device_.isOpen()) {
        if (error)
            *error = QStringLiteral("Port already open");
        return false;
    }
    deliveredSinceWrite_ = 0;
    failure_.clear();
    return device_.open(devicePath(), error);
}

bool CommControl::setOutput(const QByteArray& bytes) {
    if (!device_.isOpen() || !device_.write(bytes))
        return false;
    // A reply to what we send now starts a new pair of characters.
    deliveredSinceWrite_ = 0;
    // QSerialPort::write only queues. Wait until the driver has the bytes, so that a time-out
    // started after this call does not run while the data is still ours to send.
    while (device_.isOpen() && device_.bytesToWrite() > 0)
        pump_.waitForEvents(kOutputPollSeconds);
    return device_.isOpen();
}

QByteArray CommControl::Input() {
    const QByteArray bytes = inputLen_ > 0 ? device_.read(inputLen_) : device_.readAll();
    deliveredSinceWrite_ += bytes.size();
    return bytes;
}

// The receive event fires once at least RThreshold characters wait, as on the original driver
// whose two-character receive queue handed characters over in pairs. A lone character that
// arrives first ("U" of "UP") therefore waits for its partner and the protocols never see half
// a reply. A lone character that completes a pair ("!" after "W!K") goes out at once instead
// of waiting for a partner that never comes.
void CommControl::handleReadyRead() {
    if (rThreshold_ <= 0)
        return;
    const qint64 waiting = device_.bytesAvailable();
    if (waiting <= 0)
        return;
    const bool enough = waiting >= rThreshold_;
    const bool completesGroup = (deliveredSinceWrite_ + waiting) % rThreshold_ == 0;
    if (!enough && !completesGroup)
        return;
    commEvent_ = comEvReceive;
    if (OnComm)
        OnComm();
}

void CommControl::handleFailure(const QString& reason) {
    failure_ = reason;
    device_.close();
    if (OnPortLost)
        OnPortLost(reason);
}

}  // namespace tarvel
