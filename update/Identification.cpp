#include "update/Identification.h"

#include "update/UpdateTrack.h"

namespace tarvel {

void Identification::begin() {
    heard_ = Heard::Nothing;
    rounds_ = 0;
    identifiedAs_.clear();
}

void Identification::echoEnded() {
    if (heard_ == Heard::Echo)
        heard_ = Heard::Nothing;
}

void Identification::probed(const QByteArray& type) {
    ModuleType_ = type;
    identifiedAs_ = type;
}

// Stopped while it identified the module, the update names what the module said; stopped later,
// where the transfer stood.
Reason Identification::stoppedReason(const QString& stopped, ReasonCode code,
                                     const UpdateTrack& track) const {
    const QString after =
        stopped + QStringLiteral(" after ") + QString::number(track.secondsSinceStart(), 'f', 1);
    // A round of the identification: the switch check, the wait for an announcement, "q" and
    // the seven probes. Before the first has ended, silence says nothing of the module.
    const int rounds = rounds_ - 1;
    if (identifiedAs_.isEmpty() && heard_ == Heard::Nothing && rounds < 1)
        return {code, after + QStringLiteral(" s, during the identification of the module.")};
    if (identifiedAs_.isEmpty()) {
        const QString roundsText =
            rounds == 1 ? QStringLiteral("1 round") : QString::number(rounds) + " rounds";
        switch (heard_) {
            case Heard::Echo:
                return {ReasonCode::SwitchOff,
                        after + QStringLiteral(" s: the module echoed the switch check, its setup "
                                               "switch is OFF.")};
            case Heard::Other:
                return {ReasonCode::UnknownModule,
                        after +
                            QStringLiteral(" s: the module answered, but neither announced "
                                           "itself nor answered a type probe (") +
                            roundsText + QStringLiteral(").")};
            case Heard::Nothing:
                break;
        }
        return {ReasonCode::NoAnswer,
                after +
                    QStringLiteral(" s: no answer from the module to the switch check or the "
                                   "type probes (") +
                    roundsText + QStringLiteral("). Is it connected and powered?")};
    }
    if (track.step().isEmpty())
        return {code, after + QStringLiteral(" s, before anything of the image was sent.")};
    return {code, after + QStringLiteral(" s, during ") + track.step() +
                      (track.dataPhase().start >= 0
                           ? QStringLiteral(": the module may hold a partial image; run the "
                                            "update again.")
                           : QStringLiteral("; nothing of the image was sent."))};
}

}  // namespace tarvel
