#pragma once

#include "serial/CommControl.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class PortMenuView;
class SerialDevice;
class SettingsStore;

// The one serial link to a module: probing COM1 to COM9, the "Com Port" menu, opening the chosen
// port, collecting received characters in ReceiveBuffer, and warte, the wait that keeps the
// window alive.
class SerialLink {
  public:
    static constexpr int kFirstPort = 1;
    static constexpr int kLastPort = 9;
    static constexpr int kInBufferSize = 2;
    static constexpr int kOutBufferSize = 16384;
    static constexpr int kRThreshold = 2;
    // An adapter latency timer up to this costs little; the usual 16 ms costs minutes on a large
    // image, as every reply of the acknowledged transfer waits for it.
    static constexpr int kSlowAdapterMs = 2;

    SerialLink(SerialDevice& device, Clock& clock, EventPump& pump, PortMenuView& menu,
               Dialogs& dialogs, const SettingsStore& settings);

    CommControl MSComm1;
    // Told, with a hint for the technician, when the port just opened is a USB adapter whose
    // latency timer is slow and could not be lowered.
    std::function<void(const QString& hint)> onSlowAdapter;
    // Every character received since it was last cleared, in arrival order.
    QByteArray ReceiveBuffer;

    // True when the port can be opened; leaves it closed. A number of 0 or less probes the port
    // number already set.
    bool PortTest(int COMPortNummer);
    void ScanComPorts();
    // The "Com Port" menu pick: closes the checked port and opens the one of Index.
    void com_Click(int Index);
    // Waits at least Pausenlänge seconds while processing window events.
    void warte(double Pausenlänge);

    // Sends text to the open port; false when no port is open or it failed.
    bool send(const QByteArray& text) { return MSComm1.setOutput(text); }

  private:
    void MSComm1_OnComm();
    void portLost(const QString& reason);

    SerialDevice& device_;
    Clock& clock_;
    EventPump& pump_;
    PortMenuView& menu_;
    Dialogs& dialogs_;
};

}  // namespace tarvel
