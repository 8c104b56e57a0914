#include "update/Updater.h"

#include "serial/SerialLink.h"
#include "update/EngineServices.h"

namespace tarvel {

Updater::Updater(const EngineServices& services, SerialLink& link, StatusDisplay& status)
    : update_(link.replies(), status, services.clock, services.files),
      lookup_(update_, services.files, services.settings, services.chooser, services.imageFolder),
      recovery_(update_),
      request_(update_),
      ack_(update_, recovery_),
      driver_(update_, link, lookup_, request_, ack_) {}

UpdateOutcome Updater::StartUpdate() {
    update_.line.begin();
    return driver_.StartUpdate();
}

Reason Updater::reason(Outcome how) const {
    if (how == Outcome::Timeout || how == Outcome::Interrupted || how == Outcome::Cancelled)
        return update_.stoppedReason(how);
    return update_.reason.value_or(
        Reason{ReasonCode::PortUnavailable, QStringLiteral("The update ended without a word.")});
}

void Updater::cancel() {
    update_.line.stop();
}

}  // namespace tarvel
