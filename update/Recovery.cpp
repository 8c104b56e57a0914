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

void Recovery::begin() {
    restartPending_ = false;
    refused_ = false;
    recoveries_ = 0;
}

std::nullopt_t Recovery::moduleBack() {
    ++recoveries_;
    restartPending_ = true;
    return std::nullopt;
}

// Waits up to two seconds for the reply. Without it, floods the module with "e" (to complete a
// data block it may still be waiting for) until it says anything, then sends "DVBTER" until it
// answers "E!" or "R!": it is back, and the walk starts again. After more than ten seconds of
// recovery the update is abandoned.
std::optional<UpdateResult> Recovery::AwaitReply(const QByteArray& expected) {
    ReplyWaiter& line = update_.line();
    const Clock& clock = update_.clock();
    switch (line.waitFor(Expected::anywhere({expected}), clock.seconds(), kReplyTimeout)) {
        case ReplyWaiter::Wait::Reply:
            return std::nullopt;
        case ReplyWaiter::Wait::Late:
            break;
        case ReplyWaiter::Wait::Stopped:
        case ReplyWaiter::Wait::LineLost:
            return endHalted(update_);
    }

    update_.status().ShowStatus(texts::errorWord(), kRed, texts::errorEnglish(),
                                texts::errorGerman());
    refused_ = line.ReceiveBuffer().contains("E!");
    if (moduleIsBack().foundIn(line.ReceiveBuffer()))
        return moduleBack();
    line.discard();
    const double WaitStart = clock.seconds();
    for (;;) {
        for (int i = 0; i < kFloodLength; ++i) {
            if (!line.send("e") || !line.warte(kRecoveryPause))
                return endHalted(update_);
            if (!line.ReceiveBuffer().isEmpty())
                break;
        }
        for (int i = 0; i < kProbeCount; ++i) {
            if (!line.send("DVBTER") || !line.warte(kRecoveryPause))
                return endHalted(update_);
            if (moduleIsBack().foundIn(line.ReceiveBuffer()))
                return moduleBack();
        }
        if (clock.seconds() - WaitStart > kRecoveryLimit)
            return gaveUp(expected, clock.seconds() - WaitStart);
    }
}

UpdateResult Recovery::gaveUp(const QByteArray& expected, double recoverySeconds) {
    QString text = QStringLiteral(
                       "No \"%1\" to %2 within 2 s, and no answer to the recovery "
                       "in %3 s")
                       .arg(QString::fromLatin1(expected), update_.track().step(),
                            QString::number(recoverySeconds, 'f', 1));
    if (recoveries_ > 0)
        text += QStringLiteral(" (after %1 recoveries that brought it back)").arg(recoveries_);
    return endFailed(update_, {ReasonCode::RecoveryExhausted, text + QLatin1Char('.')});
}

}  // namespace tarvel
