#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

namespace tarvel {

class EventPump;
class SerialDevice;

// The serial port object MSComm1: a port number, the line at 115200 8N1, a receive event with a
// threshold, and blocking output. Port numbers become device paths through
// pathForPort, so that "Com3" can name /dev/ttyUSB0 on Linux.
class CommControl {
  public:
    static constexpr int comEvReceive = 2;

    CommControl(SerialDevice& device, EventPump& pump);

    std::function<QString(int port)> pathForPort;
    // The receive event (OnComm). Raised from the event pump; reads CommEvent and Input.
    std::function<void()> OnComm;
    // The open port failed for good and has been closed.
    std::function<void(const QString& reason)> OnPortLost;

    int CommPort() const { return commPort_; }
    // Choosing a port number also forgets a device chosen by its path.
    void setCommPort(int port) {
        commPort_ = port;
        fixedDevice_.clear();
    }
    QString devicePath() const;
    // Opens this device whatever the port number, as the command line's --port /dev/ttyUSB0.
    void useDevice(const QString& path) { fixedDevice_ = path; }
    bool chosenByPath() const { return !fixedDevice_.isEmpty(); }
    // How messages name the port: "Com3 (/dev/ttyUSB0)", or a device given by its path alone.
    QString portName() const;

    void setInputLen(int length) { inputLen_ = length; }
    int RThreshold() const { return rThreshold_; }
    void setRThreshold(int threshold) { rThreshold_ = threshold; }

    bool PortOpen() const;
    // Opens or closes the port of CommPort. Opening can fail; then the reason is in *error.
    bool setPortOpen(bool open, QString* error = nullptr);

    // Sends the bytes unchanged and returns once they have left our own buffers for the
    // driver, processing events meanwhile. False when the port is not open or fails.
    bool setOutput(const QByteArray& bytes);

    // All waiting characters (InputLen 0), or at most InputLen of them.
    QByteArray Input();
    int CommEvent() const { return commEvent_; }
    // Why the port last failed for good (the system's words); empty since it was opened.
    const QString& failure() const { return failure_; }

  private:
    void handleReadyRead();
    void handleFailure(const QString& reason);

    SerialDevice& device_;
    EventPump& pump_;
    int commPort_ = 1;
    QString fixedDevice_;
    int inputLen_ = 0;
    int rThreshold_ = 0;
    int commEvent_ = 0;
    // Characters handed over since the last write or open; see handleReadyRead.
    qint64 deliveredSinceWrite_ = 0;
    QString failure_;
};

}  // namespace tarvel
