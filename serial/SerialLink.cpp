#include "serial/SerialLink.h"

#include "platform/Dialogs.h"
#include "platform/SerialDevice.h"
#include "serial/PortNames.h"

namespace tarvel {

SerialLink::SerialLink(SerialDevice& device, Clock& clock, EventPump& pump, Dialogs& dialogs,
                       const SettingsStore& settings)
    : MSComm1(device, pump),
      device_(device),
      dialogs_(dialogs),
      settings_(settings),
      replies_(clock, pump, MSComm1) {
    MSComm1.pathForPort = [this](int port) { return devicePathOf(port); };
    MSComm1.OnComm = [this] { MSComm1_OnComm(); };
    MSComm1.OnPortLost = [this](const QString& reason) {
        if (onPortLost)
            onPortLost(reason);
    };
}

QString SerialLink::devicePathOf(int port) const {
    return devicePathForPort(settings_, port);
}

bool SerialLink::PortTest(int COMPortNummer) {
    if (COMPortNummer > 0)
        MSComm1.setCommPort(COMPortNummer);
    const bool opened = MSComm1.setPortOpen(true);
    MSComm1.setPortOpen(false);
    return opened;
}

bool SerialLink::open(const PortChoice& choice, QString* error) {
    if (MSComm1.PortOpen())
        MSComm1.setPortOpen(false);
    MSComm1.setInputLen(0);
    MSComm1.setRThreshold(kRThreshold);
    if (choice.comPort > 0)
        MSComm1.setCommPort(choice.comPort);
    else
        MSComm1.useDevice(choice.device);
    choice_ = choice;
    const bool opened = MSComm1.setPortOpen(true, error);
    replies_.discard();
    if (opened && onPortOpened)
        onPortOpened(choice);
    return opened;
}

bool SerialLink::reopen(QString* error) {
    if (MSComm1.PortOpen())
        return true;
    if (!choice_)
        return false;
    return open(*choice_, error);
}

bool SerialLink::openPort(const PortChoice& choice, QString* message) {
    QString error;
    const bool opened = open(choice, &error);
    if (!opened) {
        // Taken by another program since the scan, or gone: no port is open.
        const QString text =
            QStringLiteral("%1 cannot be opened: %2").arg(MSComm1.portName(), error);
        if (message)
            *message = text;
        dialogs_.messageBox(text, QStringLiteral("ComPortError"), MessageIcon::Critical);
    } else if (const auto latency = device_.latencyTimerMs();
               latency && *latency > kSlowAdapterMs && onSlowAdapter) {
        // Short enough for the status bar of the window at its usual width.
        onSlowAdapter(QStringLiteral("%1: the adapter's latency timer is %2 ms; set it to 1 ms "
                                     "for a faster update (README, Troubleshooting)")
                          .arg(MSComm1.devicePath(), QString::number(*latency)));
    }
    return opened;
}

// The receive handler only appends: it must never wait or process events, because the port
// does not report new characters again while this handler runs.
void SerialLink::MSComm1_OnComm() {
    if (MSComm1.CommEvent() == CommControl::comEvReceive)
        replies_.collect(MSComm1.Input());
}

}  // namespace tarvel
