#include "activity/ActivityInd.h"
#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/StatusView.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
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
    // Two exchanges must never share the port: a second start while one runs is ignored.
    if (running_)
        return UpdateOutcome::Busy;
    running_ = true;
    dataPhase = {};
    cancelled_ = false;
    identifiedAs.clear();
    restartPending_ = false;
    const UpdateOutcome outcome = identifyAndTransfer();
    closeImageFile();
    running_ = false;
    return outcome;
}

UpdateOutcome Updater::identifyAndTransfer() {
    s_.status.view().setBusyPointer(true);
    ErrorCount = 0;
    s_.status.ResetElapsedTime();
    s_.status.view().setProgressValue(0);
    s_.activity.setForeColor(kRed);
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
        // Setup-switch check: a module whose switch is OFF echoes what it is sent.
        for (;;) {
            received.clear();
            if (!send(kSwitchCheck))
                return endHalted();
            warte(waits::kSwitchCheck);
            if (halt() != Halt::None)
                return endHalted();
            if (!received.startsWith("XX"))
                break;
            s_.status.ShowStatus(texts::warningWord(), std::nullopt, texts::warningEnglish(),
                                 texts::warningGerman());
        }
        s_.status.ShowStatus(texts::checkingWord(), std::nullopt, texts::checkingEnglish(),
                             texts::checkingGerman());
        warte(waits::kIdentification);
        if (halt() != Halt::None)
            return endHalted();
        s_.status.StartElapsedClock();

        for (const QByteArray& announcement : kAnnouncements) {
            if (received.startsWith(announcement)) {
                identifiedAs = announcement;
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
                identifiedAs = type.code;
                return transferWith(type.pattern, true);
            }
            received.clear();
        }
        received.clear();
        s_.pump.processPending();
    }
}

UpdateOutcome Updater::transferWith(const QString& pattern, bool acknowledged) {
    const QString folderProblem = s_.files.folderProblem(imageFolder_);
    if (!folderProblem.isEmpty()) {
        return endWithoutImage(
            QStringLiteral("The image folder\n%1\n%2.").arg(imageFolder_, folderProblem));
    }
    const QString image = FindFirmwareFile(pattern);
    if (image.isEmpty()) {
        const QStringList unreadable = s_.files.unreadableNames(imageFolder_, pattern);
        if (!unreadable.isEmpty()) {
            return endWithoutImage(QStringLiteral("The image folder\n%1\nholds %2, whose name "
                                                  "cannot be read. Rename it, then try again.")
                                       .arg(imageFolder_, unreadable.join(QStringLiteral(", "))));
        }
        return endWithoutImage(
            QStringLiteral("No firmware image %1 was found in\n%2").arg(pattern, imageFolder_));
    }
    FirmwareFile = image;
    s_.status.view().setFileNameText(FirmwareFile);
    s_.link.ReceiveBuffer.clear();
    return acknowledged ? SendFirmwareWithAck() : SendFirmwareOnRequest();
}

}  // namespace tarvel
