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

UpdateResult endSucceeded(UpdateContext& update) {
    StatusDisplay& status = update.status();
    update.image().close();
    status.StopElapsedClock();
    update.line().warte(waits::kBeforeSuccess);
    status.ShowActivity(QString());
    status.setIndicatorColor(kGreen);
    status.ShowStatus(texts::successWord(), kGreen, QString(), QString());
    update.line().warte(waits::kSuccessShown);
    status.ShowReady();
    return {EngineOutcome::Success,
            Reason{ReasonCode::Completed,
                   QStringLiteral("The module confirmed the end of the update.")}};
}

UpdateResult endFailed(UpdateContext& update, Reason reason) {
    reason = update.track().placed(std::move(reason));
    update.image().close();
    showUpdateErrorBox(update, reason);
    readyWithClockStopped(update);
    return {EngineOutcome::Error, std::move(reason)};
}

UpdateResult endHalted(UpdateContext& update) {
    ReplyWaiter& line = update.line();
    const std::optional<ReplyWaiter::Wait> halt = line.halt();
    update.image().close();
    UpdateResult result{
        halt == ReplyWaiter::Wait::Stopped ? EngineOutcome::Cancelled : EngineOutcome::Error,
        std::nullopt};
    if (halt == ReplyWaiter::Wait::LineLost) {
        const QString failure = line.lineFailure();
        const QString& step = update.track().step();
        QString text = line.portName() + QStringLiteral(" was lost");
        if (!step.isEmpty())
            text += QStringLiteral(" during ") + step;
        text += failure.isEmpty() ? QStringLiteral(".") : QStringLiteral(": ") + failure + '.';
        result.reason = update.track().placed(Reason{ReasonCode::PortLost, text});
        showUpdateErrorBox(update, *result.reason);
    }
    update.status().ShowActivity(QString());
    readyWithClockStopped(update);
    return result;
}

UpdateResult refuseImage(UpdateContext& update, const QString& path, const QString& reason) {
    // The path is the technician's: it goes in as it is, never as a pattern of arguments.
    const UpdateResult ended =
        endWithoutImage(update,
                        QStringLiteral("The firmware image\n") + path +
                            QStringLiteral("\ncannot be used: ") + reason + QLatin1Char('.'),
                        ReasonCode::ImageRefused);
    return {EngineOutcome::Refused, ended.reason};
}

UpdateResult endWithoutImage(UpdateContext& update, const QString& message, ReasonCode code) {
    const Reason reason{code, asSentence(message)};
    update.image().close();
    update.status().StopElapsedClock();
    update.status().messageBox(message, QStringLiteral("Update Error"), MessageIcon::Critical,
                               MessageButtons::Ok, reasonDetail(reason));
    update.status().ShowActivity(QString());
    readyWithClockStopped(update);
    return {EngineOutcome::NoImage, reason};
}

// The clock stops where the update ended, before the box waits for the technician.
void showUpdateErrorBox(UpdateContext& update, const Reason& reason) {
    update.status().StopElapsedClock();
    update.status().messageBox(QStringLiteral("Update error\rUpdate Fehler"),
                               QStringLiteral("Update Error"), MessageIcon::Critical,
                               MessageButtons::Ok, reasonDetail(reason));
}

QString reasonDetail(const Reason& reason) {
    const ReasonAdvice advice = adviceFor(reason);
    return advice.english + QStringLiteral("\n\n") + advice.german;
}

void readyWithClockStopped(UpdateContext& update) {
    update.status().ShowReady();
    update.status().StopElapsedClock();
}

}  // namespace tarvel
