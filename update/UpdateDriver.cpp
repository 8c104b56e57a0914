#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "serial/SerialLink.h"
#include "status/ExchangeEvents.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ImageInspection.h"
#include "update/ImageSnapshot.h"
#include "update/ModuleKinds.h"
#include "update/ProtocolWaits.h"
#include "update/Updater.h"

#include <array>

namespace tarvel {

namespace {
const QByteArray kSwitchCheck(12, 'X');

// Two-letter announcements of modules that ask for their sectors themselves.
const std::array<QByteArray, 6> kAnnouncements = {"UP", "SA", "TE", "SL", "SC", "TC"};

}  // namespace

UpdateOutcome Updater::StartUpdate() {
    dataPhase = {};
    keepSnapshot(QString(), std::nullopt);
    cancelled_ = false;
    identifiedAs.clear();
    restartPending_ = false;
    const UpdateOutcome outcome = identifyAndTransfer();
    closeImageFile();
    return outcome;
}

UpdateOutcome Updater::identifyAndTransfer() {
    s_.status.setBusy(true);
    ErrorCount = 0;
    s_.status.ResetElapsedTime();
    s_.status.showProgress(0, s_.status.progressMaximum(), QStringLiteral("0%"));
    s_.status.setIndicatorColor(kRed);
    s_.status.ShowStatus(texts::checkingWord(), std::nullopt, texts::checkingEnglish(),
                         texts::checkingGerman());

    if (!s_.link.MSComm1.PortOpen()) {
        s_.dialogs.messageBox(QStringLiteral("No Com Port selected!"),
                              QStringLiteral("ComPortError"), MessageIcon::Critical);
        s_.status.ShowActivity(QString());
        s_.status.ShowReady();
        return UpdateOutcome::NoPort;
    }
    QByteArray& received = s_.link.ReceiveBuffer;
    received.clear();
    s_.pump.processPending();

    for (;;) {
        if (!switchIsOn())
            return endHalted();
        s_.status.ShowStatus(texts::checkingWord(), std::nullopt, texts::checkingEnglish(),
                             texts::checkingGerman());
        warte(waits::kIdentification);
        if (halt() != Halt::None)
            return endHalted();
        s_.status.StartElapsedClock();

        for (const QByteArray& announcement : kAnnouncements) {
            if (received.startsWith(announcement)) {
                identified(announcement);
                return transferWith(announcedPattern(), false);
            }
        }

        // Older modules do not announce themselves: ask each type in turn.
        if (!send("q"))
            return endHalted();
        warte(waits::kQuietAfterQuit);
        received.clear();
        for (const ProbedType& type : probedTypes()) {
            if (!send(type.code.repeated(5)))
                return endHalted();
            warte(waits::kPerProbe);
            if (halt() != Halt::None)
                return endHalted();
            if (received.contains("R!")) {
                ModuleType = type.code;
                identified(type.code);
                return transferWith(type.pattern, true);
            }
            received.clear();
        }
        received.clear();
        s_.pump.processPending();
    }
}

// A module whose switch is OFF echoes what it is sent; the check repeats until it stops.
bool Updater::switchIsOn() {
    QByteArray& received = s_.link.ReceiveBuffer;
    for (;;) {
        received.clear();
        if (!send(kSwitchCheck))
            return false;
        warte(waits::kSwitchCheck);
        if (halt() != Halt::None)
            return false;
        if (!received.startsWith("XX"))
            return true;
        s_.status.ShowStatus(texts::warningWord(), std::nullopt, texts::warningEnglish(),
                             texts::warningGerman());
    }
}

void Updater::identified(const QByteArray& code) {
    identifiedAs = code;
    s_.status.events().publish(ModuleIdentified{0, code}, &ExchangeListener::moduleIdentified);
}

UpdateOutcome Updater::transferWith(const QString& pattern, bool acknowledged) {
    const QString folderProblem = s_.files.folderProblem(imageFolder_);
    if (!folderProblem.isEmpty()) {
        return endWithoutImage(
            QStringLiteral("The image folder\n%1\n%2.").arg(imageFolder_, folderProblem));
    }
    approved_ = approvedImagesFor(s_.files, s_.settings, imageFolder_);
    if (approved_) {
        for (const QString& problem : approved_->problems())
            s_.status.events().publish(Notice{0, Notice::Kind::Warning, problem},
                                       &ExchangeListener::notice);
    }
    const QString image = FindFirmwareFile(pattern);
    if (image.isEmpty()) {
        const QStringList unreadable = s_.files.unreadableNames(imageFolder_, pattern);
        if (!unreadable.isEmpty()) {
            return endWithoutImage(QStringLiteral("The image folder\n%1\nholds %2, whose name "
                                                  "cannot be read. Rename it, then try again.")
                                       .arg(imageFolder_, unreadable.join(QStringLiteral(", "))));
        }
        if (approved_ && !s_.files.filesMatching(imageFolder_, pattern).isEmpty()) {
            return endWithoutImage(
                QStringLiteral("No approved firmware image %1 was found in\n%2\n(%3)")
                    .arg(pattern, imageFolder_, approved_->description()));
        }
        return endWithoutImage(
            QStringLiteral("No firmware image %1 was found in\n%2").arg(pattern, imageFolder_));
    }
    // The image is read once, here; the transfer sends those very bytes (or refuses an image
    // that cannot be read).
    FirmwareFile = image;
    openImageFile();
    closeImageFile();
    ImageChosen chosen{0, image, -1, QByteArray(), QString()};
    if (snapshot_) {
        chosen.size = snapshot_->size();
        chosen.sha256 = snapshotSha256();
    }
    if (approved_)
        chosen.approvedBy = approved_->path();
    s_.status.events().publish(chosen, &ExchangeListener::imageChosen);
    s_.link.ReceiveBuffer.clear();
    return acknowledged ? SendFirmwareWithAck() : SendFirmwareOnRequest();
}

}  // namespace tarvel
