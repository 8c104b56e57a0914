#include "platform/Clock.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/Updater.h"

namespace tarvel {

namespace {
constexpr double kReplyTimeout = 2.0;
constexpr double kRecoveryLimit = 10.0;
constexpr int kFloodLength = 1025;  // a data block with its checksum
constexpr int kProbeCount = 501;
constexpr double kRecoveryPause = 0.01;

bool moduleIsBack(const QByteArray& received) {
    return received.contains("E!") || received.contains("R!");
}
}  // namespace

// Waits up to two seconds for the reply. Without it, floods the module with "e" (to complete a
// data block it may still be waiting for) until it says anything, then sends "DVBTER" until it
// answers "E!" or "R!": it is back, and the walk starts again. After more than ten seconds of
// recovery the update is abandoned.
bool Updater::AwaitReply(const QByteArray& expected) {
    QByteArray& received = s_.link.ReceiveBuffer;
    ErrorCount = 0;
    WaitStart = s_.clock.seconds();
    for (;;) {
        pumpUntil(WaitStart + kReplyTimeout);
        if (halt() != Halt::None)
            return false;
        if (received.contains(expected))
            return true;
        if (s_.clock.seconds() - WaitStart > kReplyTimeout)
            break;
    }

    s_.status.ShowStatus(texts::errorWord(), kRed, texts::errorEnglish(), texts::errorGerman());
    if (moduleIsBack(received)) {
        ErrorCount = 2;
        restartPending_ = true;
        return true;
    }
    received.clear();
    WaitStart = s_.clock.seconds();
    for (;;) {
        for (int i = 0; i < kFloodLength; ++i) {
            if (!send("e"))
                return false;
            warte(kRecoveryPause);
            if (!received.isEmpty())
                break;
        }
        for (int i = 0; i < kProbeCount; ++i) {
            if (!send("DVBTER"))
                return false;
            warte(kRecoveryPause);
            if (halt() != Halt::None)
                return false;
            if (moduleIsBack(received)) {
                ErrorCount = 2;
                restartPending_ = true;
                return true;
            }
        }
        if (halt() != Halt::None)
            return false;
        if (s_.clock.seconds() - WaitStart > kRecoveryLimit)
            break;
    }
    showUpdateErrorBox();
    readyWithClockStopped();
    return false;
}

}  // namespace tarvel
