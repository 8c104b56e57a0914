#include "window/PortMenu.h"

#include "platform/Dialogs.h"
#include "platform/PortMenuView.h"
#include "session/UpdateSession.h"

namespace tarvel {

PortMenu::PortMenu(UpdateSession& session, PortMenuView& menu, Dialogs& dialogs)
    : session_(session), menu_(menu), dialogs_(dialogs) {
    for (int port = SerialLink::kFirstPort; port <= SerialLink::kLastPort; ++port)
        menu_.setItemStatusTip(port, session_.link().devicePathOf(port));
    // A vanished adapter leaves no port checked; opened again (by Update), it is checked again.
    // The main screen names the chosen port and what became of it.
    menu_.setChosenPort(QStringLiteral("No port"));
    session_.link().onPortLost = [this](const QString&) {
        uncheckAll();
        menu_.setChosenPort(session_.link().MSComm1.portName() + QStringLiteral(": lost"));
    };
    session_.link().onPortOpened = [this](const PortChoice& choice) {
        if (choice.comPort >= SerialLink::kFirstPort && choice.comPort <= SerialLink::kLastPort)
            menu_.setItemChecked(choice.comPort, true);
        menu_.setChosenPort(session_.link().MSComm1.portName());
    };
}

void PortMenu::ScanComPorts() {
    for (int port = SerialLink::kFirstPort; port <= SerialLink::kLastPort; ++port) {
        if (session_.link().PortTest(port)) {
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

void PortMenu::com_Click(int Index) {
    if (Index < SerialLink::kFirstPort || Index > SerialLink::kLastPort)
        return;
    uncheckAll();
    menu_.setItemChecked(Index, true);
    // Taken by another program since the scan, or gone: none is checked.
    if (!session_.openPort(PortChoice::com(Index))) {
        menu_.setItemChecked(Index, false);
        menu_.setChosenPort(session_.link().MSComm1.portName() +
                            QStringLiteral(": cannot be opened"));
    }
}

void PortMenu::uncheckAll() {
    for (int port = SerialLink::kFirstPort; port <= SerialLink::kLastPort; ++port)
        menu_.setItemChecked(port, false);
}

}  // namespace tarvel
