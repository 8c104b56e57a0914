#include "update/CommunicationTest.h"

#include "platform/Clock.h"
#include "serial/ReplyWaiter.h"
#include "status/StatusDisplay.h"

namespace tarvel {

namespace {
constexpr double kWaitLimit = 4.0;
const QString kTitle = QStringLiteral("Com-Test");
}  // namespace

// Anything but the request is thrown away while the test waits for it; the confirmation may
// follow other text. The test looks at the line as it is: without a port (or with one lost)
// nothing arrives, and the wait runs its four seconds.
bool CommunicationTest::RunComTest() {
    using Wait = ReplyWaiter::Wait;
    line_.begin();
    status_.setBusy(true);
    status_.ResetElapsedTime();
    status_.ShowActivity(QStringLiteral("Testmode - Waiting for request..."));
    line_.discard();
    bool passed = false;
    reason_ = {ReasonCode::NoAnswer,
               QStringLiteral("No \"UP\" from the module within 4 s: is it in its test mode?")};
    if (line_.halt() == Wait::LineLost && line_.lineFailure().isEmpty())
        reason_ = {ReasonCode::PortUnavailable, QStringLiteral("No port is open.")};
    if (line_.waitFor(Expected::atStart("UP"), clock_.seconds(), kWaitLimit,
                      ReplyWaiter::Unmatched::Discard,
                      ReplyWaiter::LineLoss::Ignored) == Wait::Reply &&
        line_.warte(1) && line_.sendExpecting(QByteArray("OK\x01", 3))) {
        passed = line_.waitFor(Expected::atEnd("OK"), clock_.seconds(), kWaitLimit,
                               ReplyWaiter::Unmatched::Keep,
                               ReplyWaiter::LineLoss::Ignored) == Wait::Reply;
        reason_ = passed ? Reason{ReasonCode::Completed,
                                  QStringLiteral("The module confirmed the answer with \"OK\".")}
                         : Reason{ReasonCode::NoConfirmation,
                                  QStringLiteral("The module sent \"UP\" but did not confirm "
                                                 "the answer with \"OK\" within 4 s.")};
    }
    if (!passed && !line_.lineFailure().isEmpty()) {
        reason_ = {ReasonCode::PortLost,
                   line_.portName() + QStringLiteral(" was lost: ") + line_.lineFailure() + '.'};
    }
    if (line_.halt() == ReplyWaiter::Wait::Stopped) {
        // The program is ending: no result to show.
    } else if (passed) {
        status_.messageBox(QStringLiteral("Serial Communication O.K."), kTitle,
                           MessageIcon::Information);
    } else {
        status_.messageBox(QStringLiteral("Serial Communication failed!"), kTitle,
                           MessageIcon::Critical);
    }
    status_.setBusy(false);
    status_.ShowActivity(QString());
    return passed;
}

}  // namespace tarvel
