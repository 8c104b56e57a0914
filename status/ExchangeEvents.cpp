#include "status/ExchangeEvents.h"

#include "platform/Clock.h"

#include <algorithm>

namespace tarvel {

ExchangeEvents::ExchangeEvents(const Clock& clock) : clock_(clock), origin_(clock.seconds()) {}

void ExchangeEvents::subscribe(ExchangeListener& listener) {
    if (std::find(listeners_.begin(), listeners_.end(), &listener) == listeners_.end())
        listeners_.push_back(&listener);
}

void ExchangeEvents::unsubscribe(ExchangeListener& listener) {
    listeners_.erase(std::remove(listeners_.begin(), listeners_.end(), &listener),
                     listeners_.end());
}

void ExchangeEvents::restartTime() {
    origin_ = clock_.seconds();
}

double ExchangeEvents::now() const {
    return clock_.seconds() - origin_;
}

}  // namespace tarvel
