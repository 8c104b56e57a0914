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
#include "update/Recovery.h"
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

UpdateResult UpdateDriver::StartUpdate() {
    update_.track().begin();
    update_.image().forget();
    identification_.begin();
    lookup_.begin();
    recovery_.begin();
    UpdateResult result = identifyAndTransfer();
    update_.image().close();
    return result;
}

UpdateResult UpdateDriver::identifyAndTransfer() {
    StatusDisplay& status = update_.status();
    ReplyWaiter& line = update_.line();
    status.setBusy(true);
    status.ResetElapsedTime();
    status.showProgress(0, status.progressMaximum(), QStringLiteral("0%"));
    status.setIndicatorColor(kRed);
    status.ShowStatus(texts::checkingWord(), std::nullopt, texts::checkingEnglish(),
                      texts::checkingGerman());

    if (std::optional<UpdateResult> ended = portUnready())
        return std::move(*ended);
    line.discard();
    line.processPending();

    // With nextModuleOnly, whatever answers is the module that was there before, until a whole
    // round has passed without a word: from then on the next answer is a new module.
    bool awaitingSilence = nextModuleOnly_;
    for (;;) {
        identification_.newRound();
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
                identification_.probed(type.code);
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
std::optional<UpdateResult> UpdateDriver::portUnready() {
    if (update_.line().halt() != ReplyWaiter::Wait::LineLost)
        return std::nullopt;
    QString why;
    if (link_.reopen(&why))
        return std::nullopt;
    const QString message =
        link_.hasChoice()
            ? QStringLiteral("%1 cannot be opened: %2").arg(update_.line().portName(), why)
            : QStringLiteral("No Com Port selected!");
    StatusDisplay& status = update_.status();
    status.messageBox(message, QStringLiteral("ComPortError"), MessageIcon::Critical);
    status.ShowActivity(QString());
    status.ShowReady();
    return UpdateResult{EngineOutcome::NoPort, Reason{ReasonCode::PortUnavailable, message}};
}

// A round without a word while the module updated before was awaited to leave: it has.
bool UpdateDriver::moduleLeft(bool heardThisRound) {
    if (!heardThisRound)
        update_.status().events().publish(ModuleLeft{}, &ExchangeListener::moduleLeft);
    return !heardThisRound;
}

void UpdateDriver::heardAnything() {
    if (!update_.line().ReceiveBuffer().isEmpty())
        identification_.heardOther();
}

// A module whose switch is OFF echoes what it is sent; the check repeats until it stops.
bool UpdateDriver::switchIsOn(bool* echoed) {
    ReplyWaiter& line = update_.line();
    for (;;) {
        if (!line.sendExpecting(kSwitchCheck) || !line.warte(waits::kSwitchCheck))
            return false;
        if (!line.ReceiveBuffer().startsWith("XX")) {
            identification_.echoEnded();
            return true;
        }
        identification_.echoed();
        *echoed = true;
        update_.status().ShowStatus(texts::warningWord(), std::nullopt, texts::warningEnglish(),
                                    texts::warningGerman());
    }
}

void UpdateDriver::identified(const QByteArray& code) {
    identification_.identified(code);
    update_.status().events().publish(ModuleIdentified{0, code},
                                      &ExchangeListener::moduleIdentified);
}

UpdateResult UpdateDriver::transferWith(const QString& pattern, bool acknowledged) {
    const FirmwareLookup::Result image = lookup_.imageFor(pattern);
    if (image.path.isEmpty())
        return endWithoutImage(update_, image.message, image.reason);
    update_.line().discard();
    return acknowledged ? ack_.SendFirmwareWithAck(image.path, identification_.ModuleType())
                        : request_.SendFirmwareOnRequest(image.path);
}

}  // namespace tarvel
