#include "update/Updater.h"

#include "serial/SerialLink.h"
#include "update/EngineServices.h"

namespace tarvel {

Updater::Updater(const EngineServices& services, SerialLink& link, StatusDisplay& status)
    : update_(link.replies(), status, services.clock, services.files),
      lookup_(update_, services.files, services.settings, services.chooser, services.imageFolder,
              services.trustedKeysFolder, services.releases, services.allowOlderRelease),
      recovery_(update_),
      request_(update_),
      ack_(update_, recovery_),
      driver_(update_, link, lookup_, recovery_, request_, ack_) {}

EngineOutcome Updater::StartUpdate() {
    update_.line().begin();
    UpdateResult result = driver_.StartUpdate();
    lastReason_ = std::move(result.reason);
    return result.outcome;
}

Reason Updater::reason(Outcome how) const {
    switch (how) {
        case Outcome::Timeout:
            return driver_.identification().stoppedReason(
                QStringLiteral("Stopped by the time limit"), ReasonCode::Timeout, update_.track());
        case Outcome::Interrupted:
            return driver_.identification().stoppedReason(QStringLiteral("Interrupted"),
                                                          ReasonCode::Interrupted, update_.track());
        case Outcome::Cancelled:
            return driver_.identification().stoppedReason(
                QStringLiteral("Stopped as the program closed"), ReasonCode::Cancelled,
                update_.track());
        default:
            return lastReason_.value_or(Reason{ReasonCode::PortUnavailable,
                                               QStringLiteral("The update ended without a word.")});
    }
}

void Updater::cancel() {
    update_.line().stop();
}

}  // namespace tarvel
