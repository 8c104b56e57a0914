#include "update/UpdateEnding.h"

#include "serial/ReplyWaiter.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ProtocolWaits.h"
#include "update/UpdateContext.h"

namespace tarvel {

QString asSentence(const QString& message) {
    QString sentence = message;
    return sentence.replace(QStringLiteral("\r\n"), QStringLiteral(" "))
        .replace(QLatin1Char('\r'), QLatin1Char(' '))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

UpdateOutcome endSucceeded(UpdateContext& update) {
    StatusDisplay& status = update.status;
    update.reason = Reason{ReasonCode::Completed,
                           QStringLiteral("The module confirmed the end of the update.")};
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

UpdateOutcome endFailed(UpdateContext& update, Reason reason) {
    update.reason = reason.sector ? std::move(reason) : update.placed(std::move(reason));
    update.image.close();
    showUpdateErrorBox(update);
    readyWithClockStopped(update);
    return UpdateOutcome::Failed;
}

UpdateOutcome endHalted(UpdateContext& update) {
    const ReplyWaiter::Wait halt = update.line.state();
    update.image.close();
    if (halt == ReplyWaiter::Wait::LineLost) {
        const QString failure = update.line.lineFailure();
        QString text = update.line.portName() + QStringLiteral(" was lost");
        if (!update.step.isEmpty())
            text += QStringLiteral(" during ") + update.step;
        text += failure.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + failure + '.';
        update.reason = update.placed(Reason{ReasonCode::PortLost, text});
        showUpdateErrorBox(update);
    }
    update.status.ShowActivity(QString());
    readyWithClockStopped(update);
    return halt == ReplyWaiter::Wait::Stopped ? UpdateOutcome::Cancelled : UpdateOutcome::Failed;
}

UpdateOutcome refuseImage(UpdateContext& update, const QString& reason) {
    // The path is the technician's: it goes in as it is, never as a pattern of arguments.
    endWithoutImage(update,
                    QStringLiteral("The firmware image\n") + update.FirmwareFile +
                        QStringLiteral("\ncannot be used: ") + reason + QLatin1Char('.'),
                    ReasonCode::ImageRefused);
    return UpdateOutcome::Refused;
}

UpdateOutcome endWithoutImage(UpdateContext& update, const QString& message, ReasonCode code) {
    update.reason = Reason{code, asSentence(message)};
    update.image.close();
    update.status.StopElapsedClock();
    update.status.messageBox(message, QStringLiteral("Update Error"), MessageIcon::Critical,
                             MessageButtons::Ok, reasonDetail(*update.reason));
    update.status.ShowActivity(QString());
    readyWithClockStopped(update);
    return UpdateOutcome::NoImage;
}

// The clock stops where the update ended, before the box waits for the technician.
void showUpdateErrorBox(UpdateContext& update) {
    update.status.StopElapsedClock();
    update.status.messageBox(QStringLiteral("Update error\rUpdate Fehler"),
                             QStringLiteral("Update Error"), MessageIcon::Critical,
                             MessageButtons::Ok,
                             update.reason ? reasonDetail(*update.reason) : QString());
}

QString reasonDetail(const Reason& reason) {
    const ReasonAdvice advice = adviceFor(reason);
    return advice.english + QStringLiteral("\n\n") + advice.german;
}

void readyWithClockStopped(UpdateContext& update) {
    update.status.ShowReady();
    update.status.StopElapsedClock();
}

}  // namespace tarvel
