#include "update/Recovery.h"

#include "platform/Clock.h"
#include "serial/ReplyWaiter.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/UpdateContext.h"
#include "update/UpdateEnding.h"

namespace tarvel {

namespace {
constexpr double kReplyTimeout = 2.0;
constexpr double kRecoveryLimit = 10.0;
constexpr int kFloodLength = 1025;  // a data block with its checksum
constexpr int kProbeCount = 501;
constexpr double kRecoveryPause = 0.01;

const Expected& moduleIsBack() {
    static const Expected back = Expected::anywhere({"E!", "R!"});
    return back;
}
}  // namespace

bool Recovery::moduleBack() {
    update_.ErrorCount = 2;
    ++update_.recoveries;
    restartPending_ = true;
    return true;
}

// Waits up to two seconds for the reply. Without it, floods the module with "e" (to complete a
// data block it may still be waiting for) until it says anything, then sends "DVBTER" until it
// answers "E!" or "R!": it is back, and the walk starts again. After more than ten seconds of
// recovery the update is abandoned.
bool Recovery::AwaitReply(const QByteArray& expected) {
    ReplyWaiter& line = update_.line;
    update_.ErrorCount = 0;
    update_.WaitStart = update_.clock.seconds();
    switch (line.waitFor(Expected::anywhere({expected}), update_.WaitStart, kReplyTimeout)) {
        case ReplyWaiter::Wait::Reply:
            return true;
        case ReplyWaiter::Wait::Late:
            break;
        case ReplyWaiter::Wait::Stopped:
        case ReplyWaiter::Wait::LineLost:
            return false;
    }

    update_.status.ShowStatus(texts::errorWord(), kRed, texts::errorEnglish(),
                              texts::errorGerman());
    refused_ = line.ReceiveBuffer().contains("E!");
    if (moduleIsBack().foundIn(line.ReceiveBuffer()))
        return moduleBack();
    line.discard();
    const double recoveryStart = update_.clock.seconds();
    update_.WaitStart = recoveryStart;
    for (;;) {
        for (int i = 0; i < kFloodLength; ++i) {
            if (!line.send("e") || !line.warte(kRecoveryPause))
                return false;
            if (!line.ReceiveBuffer().isEmpty())
                break;
        }
        for (int i = 0; i < kProbeCount; ++i) {
            if (!line.send("DVBTER") || !line.warte(kRecoveryPause))
                return false;
            if (moduleIsBack().foundIn(line.ReceiveBuffer()))
                return moduleBack();
        }
        if (update_.clock.seconds() - update_.WaitStart > kRecoveryLimit)
            break;
    }
    QString text = QStringLiteral(
                       "No \"%1\" to %2 within 2 s, and no answer to the recovery "
                       "in %3 s")
                       .arg(QString::fromLatin1(expected), update_.step,
                            QString::number(update_.clock.seconds() - recoveryStart, 'f', 1));
    if (update_.recoveries > 0)
        text +=
            QStringLiteral(" (after %1 recoveries that brought it back)").arg(update_.recoveries);
    update_.reason = update_.placed(Reason{ReasonCode::RecoveryExhausted, text + QLatin1Char('.')});
    showUpdateErrorBox(update_);
    readyWithClockStopped(update_);
    return false;
}

}  // namespace tarvel
