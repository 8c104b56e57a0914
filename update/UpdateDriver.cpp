#include "update/UpdateDriver.h"

#include "serial/ReplyWaiter.h"
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
    update_.dataPhase = {};
    update_.image.forget();
    update_.identifiedAs.clear();
    update_.chosenImage.clear();
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

    if (line.state() == ReplyWaiter::Wait::LineLost) {
        status.messageBox(QStringLiteral("No Com Port selected!"), QStringLiteral("ComPortError"),
                          MessageIcon::Critical);
        status.ShowActivity(QString());
        status.ShowReady();
        return UpdateOutcome::NoPort;
    }
    line.discard();
    line.processPending();

    for (;;) {
        if (!switchIsOn())
            return endHalted(update_);
        status.ShowStatus(texts::checkingWord(), std::nullopt, texts::checkingEnglish(),
                          texts::checkingGerman());
        if (!line.warte(waits::kIdentification))
            return endHalted(update_);
        status.StartElapsedClock();

        for (const QByteArray& announcement : kAnnouncements) {
            if (line.ReceiveBuffer().startsWith(announcement)) {
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
            if (line.ReceiveBuffer().contains("R!")) {
                update_.ModuleType = type.code;
                identified(type.code);
                return transferWith(type.pattern, true);
            }
        }
        line.processPending();
    }
}

// A module whose switch is OFF echoes what it is sent; the check repeats until it stops.
bool UpdateDriver::switchIsOn() {
    ReplyWaiter& line = update_.line;
    for (;;) {
        if (!line.sendExpecting(kSwitchCheck) || !line.warte(waits::kSwitchCheck))
            return false;
        if (!line.ReceiveBuffer().startsWith("XX"))
            return true;
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
        return endWithoutImage(update_, image.message);
    update_.line.discard();
    return acknowledged ? ack_.SendFirmwareWithAck() : request_.SendFirmwareOnRequest();
}

}  // namespace tarvel
