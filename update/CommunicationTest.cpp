#include "update/CommunicationTest.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"

#include <algorithm>

namespace tarvel {

namespace {
constexpr double kWaitLimit = 4.0;
constexpr double kMinimumWait = 0.001;
const QString kTitle = QStringLiteral("Com-Test");

bool isRequest(const QByteArray& received) {
    return received.startsWith("UP");
}
bool isConfirmation(const QByteArray& received) {
    return received.endsWith("OK");
}
}  // namespace

CommunicationTest::CommunicationTest(SerialLink& link, StatusDisplay& status, Dialogs& dialogs,
                                     Clock& clock, EventPump& pump)
    : link_(link), status_(status), dialogs_(dialogs), clock_(clock), pump_(pump) {}

bool CommunicationTest::waitFor(bool (*accept)(const QByteArray&), bool discardOthers) {
    const double start = clock_.seconds();
    for (;;) {
        pump_.waitForEvents(std::max(start + kWaitLimit - clock_.seconds(), kMinimumWait));
        if (cancelled_)
            return false;
        if (accept(link_.ReceiveBuffer))
            return true;
        if (discardOthers)
            link_.ReceiveBuffer.clear();
        if (clock_.seconds() - start > kWaitLimit)
            return false;
    }
}

bool CommunicationTest::RunComTest() {
    cancelled_ = false;
    status_.setBusy(true);
    status_.ResetElapsedTime();
    status_.ShowActivity(QStringLiteral("Testmode - Waiting for request..."));
    link_.ReceiveBuffer.clear();
    bool passed = false;
    if (waitFor(isRequest, true)) {
        link_.warte(1);
        link_.send(QByteArray("OK\x01", 3));
        link_.ReceiveBuffer.clear();
        passed = waitFor(isConfirmation, false);
    }
    if (cancelled_) {
        // The program is ending: no result to show.
    } else if (passed) {
        dialogs_.messageBox(QStringLiteral("Serial Communication O.K."), kTitle,
                            MessageIcon::Information);
    } else {
        dialogs_.messageBox(QStringLiteral("Serial Communication failed!"), kTitle,
                            MessageIcon::Critical);
    }
    status_.setBusy(false);
    status_.ShowActivity(QString());
    return passed;
}

}  // namespace tarvel
