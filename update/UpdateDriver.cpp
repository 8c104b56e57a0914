#include "update/UpdateDriver.h"

#include "serial/ReplyWaiter.h"
#include "serial/SerialLink.h"
#include "status/ExchangeEvents.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/AckTransfer.h"
#include "update/FirmwareLookup.h"
#include "update/ModuleKinds.h"
#include "update/ProtocolWaits.h"
#include "update/RequestTransfer.h"
#include "update/UpdateContext.h"
#include "update/UpdateEnding.h"

#include <array>

namespace tarvel {

namespace {
const QByteArray kSwitchCheck(12, 'X');

// Two-letter announcements of modules that ask for their sectors themselves.
const std::array<QByteArray, 6> kAnnouncements = {"UP", "SA", "TE", "SL", "SC", "TC"};

}  // namespace

UpdateOutcome UpdateDriver::StartUpdate() {
    update_.begin();
    const UpdateOutcome outcome = identifyAndTransfer();
    update_.image.close();
    return outcome;
}

UpdateOutcome UpdateDriver::identifyAndTransfer() {
    StatusDisplay& status = update_.status;
    ReplyWaiter& line = update_.line;
    status.setBusy(true);
    update_.ErrorCount = 0;
    status.ResetElapsedTime();
    status.showProgress(0, status.progressMaximum(), QStringLiteral("0%"));
    status.setIndicatorColor(kRed);
    status.ShowStatus(texts::checkingWord(), std::nullopt, texts::checkingEnglish(),
                      texts::checkingGerman());

    if (!portReady())
        return UpdateOutcome::NoPort;
    line.discard();
    line.processPending();

    // With nextModuleOnly, whatever answers is the module that was there before, until a whole
    // round has passed without a word: from then on the next answer is a new module.
    bool awaitingSilence = update_.nextModuleOnly;
    for (;;) {
        ++update_.identificationRounds;
        bool heardThisRound = false;
        if (!switchIsOn(&heardThisRound))
            return endHalted(update_);
        status.ShowStatus(texts::checkingWord(), std::nullopt, texts::checkingEnglish(),
                          texts::checkingGerman());
        if (!line.warte(waits::kIdentification))
            return endHalted(update_);
        status.StartElapsedClock();
        heardAnything();
        heardThisRound = heardThisRound || !line.ReceiveBuffer().isEmpty();

        for (const QByteArray& announcement : kAnnouncements) {
            if (!awaitingSilence && line.ReceiveBuffer().startsWith(announcement)) {
                identified(announcement);
                return transferWith(announcedPattern(), false);
            }
        }

        // Older modules do not announce themselves: ask each type in turn. What the module
        // says while it settles after "q" is thrown away with the first probe.
        if (!line.send("q") || !line.warte(waits::kQuietAfterQuit))
            return endHalted(update_);
        for (const ProbedType& type : probedTypes()) {
            if (!line.sendExpecting(type.code.repeated(5)) || !line.warte(waits::kPerProbe))
                return endHalted(update_);
            if (!awaitingSilence && line.ReceiveBuffer().contains("R!")) {
                update_.ModuleType = type.code;
                identified(type.code);
                return transferWith(type.pattern, true);
            }
            heardAnything();
            heardThisRound = heardThisRound || !line.ReceiveBuffer().isEmpty();
        }
        awaitingSilence = awaitingSilence && !moduleLeft(heardThisRound);
        line.processPending();
    }
}

// The chosen port was lost (an adapter pulled) and may be back: it is opened again. Without a
// port, or with one that does not open, the update ends here, saying which and why.
bool UpdateDriver::portReady() {
    if (update_.line.state() != ReplyWaiter::Wait::LineLost)
        return true;
    QString why;
    if (link_.reopen(&why))
        return true;
    const QString message =
        link_.hasChoice()
            ? QStringLiteral("%1 cannot be opened: %2").arg(update_.line.portName(), why)
            : QStringLiteral("No Com Port selected!");
    update_.reason = Reason{ReasonCode::PortUnavailable, message};
    update_.status.messageBox(message, QStringLiteral("ComPortError"), MessageIcon::Critical);
    update_.status.ShowActivity(QString());
    update_.status.ShowReady();
    return false;
}

// A round without a word while the module updated before was awaited to leave: it has.
bool UpdateDriver::moduleLeft(bool heardThisRound) {
    if (!heardThisRound)
        update_.status.events().publish(ModuleLeft{}, &ExchangeListener::moduleLeft);
    return !heardThisRound;
}

void UpdateDriver::heardAnything() {
    if (!update_.line.ReceiveBuffer().isEmpty())
        update_.heard = UpdateContext::Heard::Other;
}

// A module whose switch is OFF echoes what it is sent; the check repeats until it stops.
bool UpdateDriver::switchIsOn(bool* echoed) {
    ReplyWaiter& line = update_.line;
    for (;;) {
        if (!line.sendExpecting(kSwitchCheck) || !line.warte(waits::kSwitchCheck))
            return false;
        if (!line.ReceiveBuffer().startsWith("XX")) {
            // An echo no more: whatever comes now is the module's answer.
            if (update_.heard == UpdateContext::Heard::Echo)
                update_.heard = UpdateContext::Heard::Nothing;
            return true;
        }
        update_.heard = UpdateContext::Heard::Echo;
        *echoed = true;
        update_.status.ShowStatus(texts::warningWord(), std::nullopt, texts::warningEnglish(),
                                  texts::warningGerman());
    }
}

void UpdateDriver::identified(const QByteArray& code) {
    update_.identifiedAs = code;
    update_.status.events().publish(ModuleIdentified{0, code}, &ExchangeListener::moduleIdentified);
}

UpdateOutcome UpdateDriver::transferWith(const QString& pattern, bool acknowledged) {
    const FirmwareLookup::Result image = lookup_.imageFor(pattern);
    if (image.path.isEmpty())
        return endWithoutImage(update_, image.message, image.reason);
    update_.line.discard();
    return acknowledged ? ack_.SendFirmwareWithAck() : request_.SendFirmwareOnRequest();
}

}  // namespace tarvel
