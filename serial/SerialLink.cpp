#include "serial/SerialLink.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "platform/PortMenuView.h"
#include "platform/SerialDevice.h"
#include "serial/PortNames.h"

namespace tarvel {

SerialLink::SerialLink(SerialDevice& device, Clock& clock, EventPump& pump, PortMenuView& menu,
                       Dialogs& dialogs, const SettingsStore& settings)
    : MSComm1(device, pump),
      device_(device),
      clock_(clock),
      pump_(pump),
      menu_(menu),
      dialogs_(dialogs) {
    MSComm1.pathForPort = [&settings](int port) { return devicePathForPort(settings, port); };
    MSComm1.OnComm = [this] { MSComm1_OnComm(); };
    MSComm1.OnPortLost = [this](const QString& reason) { portLost(reason); };
    for (int port = kFirstPort; port <= kLastPort; ++port)
        menu_.setItemStatusTip(port, devicePathForPort(settings, port));
}

bool SerialLink::PortTest(int COMPortNummer) {
    if (COMPortNummer > 0)
        MSComm1.setCommPort(COMPortNummer);
    const bool opened = MSComm1.setPortOpen(true);
    MSComm1.setPortOpen(false);
    return opened;
}

void SerialLink::ScanComPorts() {
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (PortTest(port)) {
            menu_.setItemVisible(0, false);
            menu_.setItemVisible(port, true);
        } else {
            menu_.setItemVisible(port, false);
        }
    }
    if (menu_.isItemVisible(0)) {
        dialogs_.messageBox(QStringLiteral("No Com Ports available!"),
                            QStringLiteral("ComPortError"), MessageIcon::Critical);
    }
}

void SerialLink::com_Click(int Index) {
    if (Index < kFirstPort || Index > kLastPort)
        return;
    for (int port = kFirstPort; port <= kLastPort; ++port) {
        if (menu_.isItemChecked(port)) {
            menu_.setItemChecked(port, false);
            if (MSComm1.PortOpen())
                MSComm1.setPortOpen(false);
        }
    }
    menu_.setItemChecked(Index, true);
    MSComm1.setInBufferSize(kInBufferSize);
    MSComm1.setInputLen(0);
    MSComm1.setOutBufferSize(kOutBufferSize);
    MSComm1.setRThreshold(kRThreshold);
    MSComm1.setCommPort(Index);
    QString error;
    if (!MSComm1.setPortOpen(true, &error)) {
        // Taken by another program since the scan, or gone: no port is open, none is checked.
        menu_.setItemChecked(Index, false);
        dialogs_.messageBox(
            QStringLiteral("%1 cannot be opened: %2").arg(MSComm1.portName(), error),
            QStringLiteral("ComPortError"), MessageIcon::Critical);
    } else if (const auto latency = device_.latencyTimerMs();
               latency && *latency > kSlowAdapterMs && onSlowAdapter) {
        // Short enough for the status bar of the window at its usual width.
        onSlowAdapter(QStringLiteral("%1: the adapter's latency timer is %2 ms; set it to 1 ms "
                                     "for a faster update (README, Troubleshooting)")
                          .arg(MSComm1.devicePath())
                          .arg(*latency));
    }
    ReceiveBuffer.clear();
}

// The receive handler only appends: it must never wait or process events, because the port
// does not report new characters again while this handler runs.
void SerialLink::MSComm1_OnComm() {
    if (MSComm1.CommEvent() == CommControl::comEvReceive)
        ReceiveBuffer += MSComm1.Input();
}

void SerialLink::portLost(const QString& reason) {
    Q_UNUSED(reason);
    for (int port = kFirstPort; port <= kLastPort; ++port)
        menu_.setItemChecked(port, false);
}

void SerialLink::warte(double Pausenlänge) {
    if (Pausenlänge <= 0)
        return;
    const double end = clock_.seconds() + Pausenlänge;
    for (double now = clock_.seconds(); now < end; now = clock_.seconds())
        pump_.waitForEvents(end - now);
}

}  // namespace tarvel
