#include "station/StationVerdict.h"

#include "status/Outcome.h"

#include <QStringList>

namespace tarvel {

Fault faultOf(ReasonCode code) {
    switch (code) {
        case ReasonCode::Completed:
            return Fault::None;
        case ReasonCode::PortUnavailable:
        case ReasonCode::PortLost:
        case ReasonCode::NoImage:
        case ReasonCode::NotApproved:
        case ReasonCode::NotSigned:
        case ReasonCode::BadSignature:
        case ReasonCode::UntrustedKey:
        case ReasonCode::OlderRelease:
        case ReasonCode::ImageRefused:
        case ReasonCode::Usage:
        case ReasonCode::Crashed:
            return Fault::Station;
        case ReasonCode::Interrupted:
        case ReasonCode::Cancelled:
            return Fault::Stopped;
        case ReasonCode::SwitchOff:
        case ReasonCode::NoAnswer:
        case ReasonCode::NoConfirmation:
        case ReasonCode::UnknownModule:
        case ReasonCode::RecoveryExhausted:
        case ReasonCode::ModuleError:
        case ReasonCode::Timeout:
            return Fault::Module;
    }
    return Fault::Module;
}

std::pair<QString, bool> stationVerdict(const PortResults& ports) {
    int modules = 0, passed = 0;
    QStringList pull, notSetUp, stopped;
    for (const auto& [port, results] : ports) {
        for (const ModuleResult& result : results) {
            ++modules;
            passed += result.ended.outcome == Outcome::Success;
        }
        // An earlier module that failed has been taken off since: the port's last one counts.
        const Fault fault = results.empty() ? Fault::Stopped : faultOf(results.back().ended.code);
        if (fault == Fault::Module)
            pull << port;
        else if (fault == Fault::Station)
            notSetUp << port;
        else if (fault == Fault::Stopped && !results.empty())
            stopped << port;
    }
    const QString separator = QStringLiteral(", ");
    QString text = QStringLiteral("%1 of %2 passed").arg(passed).arg(modules);
    text += pull.isEmpty() ? QStringLiteral(".")
                           : QStringLiteral(": pull %1.").arg(pull.join(separator));
    if (!notSetUp.isEmpty())
        text += QStringLiteral(
                    " Station not set up on %1 (check the port, its adapter and cable, "
                    "the image folder).")
                    .arg(notSetUp.join(separator));
    if (!stopped.isEmpty())
        text += QStringLiteral(" Stopped on %1 before the end.").arg(stopped.join(separator));
    return {text, modules > 0 && passed == modules};
}

}  // namespace tarvel
