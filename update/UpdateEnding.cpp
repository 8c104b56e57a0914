#include "update/UpdateEnding.h"

#include "serial/ReplyWaiter.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ProtocolWaits.h"
#include "update/UpdateContext.h"

namespace tarvel {

UpdateOutcome endSucceeded(UpdateContext& update) {
    StatusDisplay& status = update.status;
    update.image.close();
    status.StopElapsedClock();
    update.line.warte(waits::kBeforeSuccess);
    status.ShowActivity(QString());
    status.setIndicatorColor(kGreen);
    status.ShowStatus(texts::successWord(), kGreen, QString(), QString());
    update.line.warte(waits::kSuccessShown);
    status.ShowReady();
    return UpdateOutcome::Success;
}

UpdateOutcome endFailed(UpdateContext& update) {
    update.image.close();
    showUpdateErrorBox(update);
    readyWithClockStopped(update);
    return UpdateOutcome::Failed;
}

UpdateOutcome endHalted(UpdateContext& update) {
    const ReplyWaiter::Wait halt = update.line.state();
    update.image.close();
    if (halt == ReplyWaiter::Wait::LineLost)
        showUpdateErrorBox(update);
    update.status.ShowActivity(QString());
    readyWithClockStopped(update);
    return halt == ReplyWaiter::Wait::Stopped ? UpdateOutcome::Cancelled : UpdateOutcome::Failed;
}

UpdateOutcome refuseImage(UpdateContext& update, const QString& reason) {
    // The path is the technician's: it goes in as it is, never as a pattern of arguments.
    endWithoutImage(update, QStringLiteral("The firmware image\n") + update.FirmwareFile +
                                QStringLiteral("\ncannot be used: ") + reason + QLatin1Char('.'));
    return UpdateOutcome::Refused;
}

UpdateOutcome endWithoutImage(UpdateContext& update, const QString& message) {
    update.image.close();
    update.status.messageBox(message, QStringLiteral("Update Error"), MessageIcon::Critical);
    update.status.ShowActivity(QString());
    readyWithClockStopped(update);
    return UpdateOutcome::NoImage;
}

void showUpdateErrorBox(UpdateContext& update) {
    update.status.messageBox(QStringLiteral("Update error\rUpdate Fehler"),
                             QStringLiteral("Update Error"), MessageIcon::Critical);
}

void readyWithClockStopped(UpdateContext& update) {
    update.status.ShowReady();
    update.status.StopElapsedClock();
}

}  // namespace tarvel
