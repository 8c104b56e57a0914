#pragma once

#include "serial/CommControl.h"
#include "serial/ReplyWaiter.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class SerialDevice;
class SettingsStore;

// A port as the technician names it: "Com n" (1 to 9, mapped to a device by the settings store)
// or a device path.
struct PortChoice {
    int comPort = 0;  // 1 to 9; 0 when device names the port
    QString device;

    static PortChoice com(int port) { return {port, QString()}; }
    static PortChoice path(const QString& device) { return {0, device}; }
};

// The one serial link to a module: opening the chosen port at 115200 8N1, and the receive
// handler that hands received characters to the reply waiter, which keeps ReceiveBuffer.
class SerialLink {
  public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 9;
    static constexpr int kRThreshold = 2;
    // An adapter latency timer up to this costs little; the usual 16 ms costs minutes on a large
    // image, as every reply of the acknowledged transfer waits for it.
    static constexpr int kSlowAdapterMs = 2;

    SerialLink(SerialDevice& device, Clock& clock, EventPump& pump, Dialogs& dialogs,
               const SettingsStore& settings);

    CommControl MSComm1;
    // Told, with a hint for the technician, when the port just opened is a USB adapter whose
    // latency timer is slow and could not be lowered.
    std::function<void(const QString& hint)> onSlowAdapter;
    // Told when the open port failed for good and was closed, with the system's reason.
    std::function<void(const QString& reason)> onPortLost;
    // Told when a port was opened, also when the chosen port is opened again.
    std::function<void(const PortChoice& choice)> onPortOpened;

    // The device path of "Com n".
    QString devicePathOf(int port) const;
    // True when the port can be opened; leaves it closed. A number of 0 or less probes the port
    // number already set.
    bool PortTest(int COMPortNummer);
    // Closes the open port and opens the chosen one, configured; says why when it cannot (in a
    // box, and in *message).
    bool openPort(const PortChoice& choice, QString* message = nullptr);
    // Whether a port has been chosen (opened or not); opens it again, without a message, when
    // it is not open: a USB adapter pulled and plugged in again. False with the reason.
    bool hasChoice() const { return choice_.has_value(); }
    bool reopen(QString* error);
    // ReceiveBuffer, warte and every wait for the module.
    ReplyWaiter& replies() { return replies_; }

  private:
    void MSComm1_OnComm();
    bool open(const PortChoice& choice, QString* error);

    SerialDevice& device_;
    Dialogs& dialogs_;
    const SettingsStore& settings_;
    ReplyWaiter replies_;
    std::optional<PortChoice> choice_;
};

}  // namespace tarvel
