#include "update/Updater.h"

#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ImageInspection.h"
#include "update/ImageSnapshot.h"
#include "update/ProtocolWaits.h"

#include <algorithm>

namespace tarvel {

namespace {
// The shortest block on the event loop, so that a deadline reached exactly is passed next time.
constexpr double kMinimumWait = 0.001;
}  // namespace

Updater::Updater(Services services, QString imageFolder, const bool& manualFileSelect)
    : s_(services), imageFolder_(std::move(imageFolder)), manualFileSelect_(manualFileSelect) {}

Updater::~Updater() = default;

void Updater::closeImageFile() {
    imageFile_.reset();
}

bool Updater::openImageFile() {
    closeImageFile();
    if (!snapshot_ || snapshotPath_ != FirmwareFile)
        keepSnapshot(FirmwareFile, readWholeImage(s_.files, FirmwareFile));
    if (snapshot_)
        imageFile_ = std::make_unique<ImageSnapshot>(*snapshot_);
    return imageFile_ != nullptr;
}

void Updater::keepSnapshot(const QString& path, std::optional<QByteArray> bytes) {
    snapshot_ = std::move(bytes);
    snapshotPath_ = path;
    snapshotSha256_.clear();
}

// Hashing the largest image takes a good part of a second: once per update is enough.
const QByteArray& Updater::snapshotSha256() {
    if (snapshotSha256_.isEmpty() && snapshot_)
        snapshotSha256_ = sha256Of(*snapshot_);
    return snapshotSha256_;
}

bool Updater::send(const QByteArray& text) {
    if (dataPhase.start >= 0 && dataPhase.end < 0)
        dataPhase.bytes += text.size();
    return halt() == Halt::None && s_.link.send(text) && halt() == Halt::None;
}

void Updater::dataPhaseStarts() {
    if (dataPhase.start < 0)
        dataPhase.start = s_.clock.seconds();
}

void Updater::dataPhaseEnds() {
    dataPhase.end = s_.clock.seconds();
}

void Updater::pumpUntil(double deadline) {
    s_.pump.waitForEvents(std::max(deadline - s_.clock.seconds(), kMinimumWait));
}

bool Updater::waitForReply(bool (*accept)(const QByteArray&), double limit) {
    for (;;) {
        pumpUntil(WaitStart + limit);
        if (halt() != Halt::None)
            return false;
        if (accept(s_.link.ReceiveBuffer))
            return true;
        if (s_.clock.seconds() - WaitStart > limit)
            return false;
    }
}

void Updater::warte(double seconds) {
    const double end = s_.clock.seconds() + seconds;
    while (s_.clock.seconds() < end && halt() == Halt::None)
        s_.pump.waitForEvents(end - s_.clock.seconds());
}

Updater::Halt Updater::halt() const {
    if (cancelled_)
        return Halt::Cancelled;
    if (!s_.link.MSComm1.PortOpen())
        return Halt::PortLost;
    return Halt::None;
}

UpdateOutcome Updater::endHalted() {
    const Halt reason = halt();
    closeImageFile();
    if (reason == Halt::PortLost)
        showUpdateErrorBox();
    s_.status.ShowActivity(QString());
    readyWithClockStopped();
    return reason == Halt::Cancelled ? UpdateOutcome::Cancelled : UpdateOutcome::Failed;
}

UpdateOutcome Updater::endFailed() {
    closeImageFile();
    showUpdateErrorBox();
    readyWithClockStopped();
    return UpdateOutcome::Failed;
}

UpdateOutcome Updater::refuseImage(const QString& reason) {
    endWithoutImage(
        QStringLiteral("The firmware image\n%1\ncannot be used: %2.").arg(FirmwareFile, reason));
    return UpdateOutcome::Refused;
}

UpdateOutcome Updater::endWithoutImage(const QString& message) {
    closeImageFile();
    s_.dialogs.messageBox(message, QStringLiteral("Update Error"), MessageIcon::Critical);
    s_.status.ShowActivity(QString());
    readyWithClockStopped();
    return UpdateOutcome::NoImage;
}

void Updater::showUpdateErrorBox() {
    s_.dialogs.messageBox(QStringLiteral("Update error\rUpdate Fehler"),
                          QStringLiteral("Update Error"), MessageIcon::Critical);
}

void Updater::readyWithClockStopped() {
    s_.status.ShowReady();
    s_.status.StopElapsedClock();
}

// The common end of both transfers: the success word for three seconds, then ready.
UpdateOutcome Updater::endSucceeded() {
    closeImageFile();
    s_.status.StopElapsedClock();
    warte(waits::kBeforeSuccess);
    s_.status.ShowActivity(QString());
    s_.status.setIndicatorColor(kGreen);
    s_.status.ShowStatus(texts::successWord(), kGreen, QString(), QString());
    warte(waits::kSuccessShown);
    s_.status.ShowReady();
    return UpdateOutcome::Success;
}

}  // namespace tarvel
