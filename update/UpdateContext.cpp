#include "update/UpdateContext.h"

#include "platform/Clock.h"
#include "serial/ReplyWaiter.h"

namespace tarvel {

void UpdateContext::begin() {
    dataPhase = {};
    image.forget();
    identifiedAs.clear();
    chosenImage.clear();
    at(QString());
    heard = Heard::Nothing;
    identificationRounds = 0;
    startedAt = clock.seconds();
    recoveries = 0;
    reason.reset();
}

void UpdateContext::at(const QString& where, std::optional<qint64> sector,
                       std::optional<int> block) {
    step = where;
    stepSector = sector;
    stepBlock = block;
}

Reason UpdateContext::placed(Reason reason) const {
    reason.sector = stepSector;
    reason.block = stepBlock;
    return reason;
}

// Stopped while it identified the module, the update names what the module said; stopped later,
// where the transfer stood.
Reason UpdateContext::stoppedReason(Outcome how) const {
    const QString stopped = how == Outcome::Timeout ? QStringLiteral("Stopped by the time limit")
                            : how == Outcome::Interrupted
                                ? QStringLiteral("Interrupted")
                                : QStringLiteral("Stopped as the program closed");
    const ReasonCode code = how == Outcome::Timeout       ? ReasonCode::Timeout
                            : how == Outcome::Interrupted ? ReasonCode::Interrupted
                                                          : ReasonCode::Cancelled;
    const QString seconds = QString::number(clock.seconds() - startedAt, 'f', 1);
    // A round of the identification: the switch check, the wait for an announcement, "q" and
    // the seven probes. Before the first has ended, silence says nothing of the module.
    const int rounds = identificationRounds - 1;
    if (identifiedAs.isEmpty() && heard == Heard::Nothing && rounds < 1)
        return {code, stopped + QStringLiteral(" after ") + seconds +
                          QStringLiteral(" s, during the identification of the module.")};
    if (identifiedAs.isEmpty()) {
        const QString roundsText =
            rounds == 1 ? QStringLiteral("1 round") : QString::number(rounds) + " rounds";
        switch (heard) {
            case Heard::Echo:
                return {ReasonCode::SwitchOff,
                        stopped + QStringLiteral(" after ") + seconds +
                            QStringLiteral(" s: the module echoed the switch check, its setup "
                                           "switch is OFF.")};
            case Heard::Other:
                return {ReasonCode::UnknownModule,
                        stopped + QStringLiteral(" after ") + seconds +
                            QStringLiteral(" s: the module answered, but neither announced "
                                           "itself nor answered a type probe (") +
                            roundsText + QStringLiteral(").")};
            case Heard::Nothing:
                break;
        }
        return {ReasonCode::NoAnswer,
                stopped + QStringLiteral(" after ") + seconds +
                    QStringLiteral(" s: no answer from the module to the switch check or the "
                                   "type probes (") +
                    roundsText + QStringLiteral("). Is it connected and powered?")};
    }
    if (step.isEmpty())
        return {code, stopped + QStringLiteral(" after ") + seconds +
                          QStringLiteral(" s, before anything of the image was sent.")};
    return {
        code,
        stopped + QStringLiteral(" after ") + seconds + QStringLiteral(" s, during ") + step +
            (dataPhase.start >= 0 ? QStringLiteral(": the module may hold a partial image; run the "
                                                   "update again.")
                                  : QStringLiteral("; nothing of the image was sent."))};
}

void UpdateContext::dataPhaseStarts() {
    if (dataPhase.start >= 0)
        return;
    dataPhase.start = clock.seconds();
    sentBeforeData_ = line.bytesSent();
}

void UpdateContext::dataPhaseEnds() {
    dataPhase.end = clock.seconds();
    dataPhase.bytes = line.bytesSent() - sentBeforeData_;
}

}  // namespace tarvel
