#include "status/ExchangeEvents.h"

#include "platform/Clock.h"
#include "platform/EventPump.h"

#include <algorithm>

namespace tarvel {

ExchangeEvents::ExchangeEvents(const Clock& clock, EventPump& pump)
    : clock_(clock), pump_(pump), origin_(clock.seconds()) {}

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

void ExchangeEvents::deliver() {
    // An event published by a listener joins the queue that is being delivered.
    if (delivering_)
        return;
    delivering_ = true;
    while (!queue_.empty()) {
        const std::function<void()> tell = std::move(queue_.front());
        queue_.pop_front();
        tell();
    }
    delivering_ = false;
}

void ExchangeEvents::deliverAfterReceive() {
    if (waitingForReceive_)
        return;
    waitingForReceive_ = true;
    pump_.post([this, alive = std::weak_ptr<char>(alive_)] {
        if (!alive.expired())
            deliverPending();
    });
}

void ExchangeEvents::deliverPending() {
    waitingForReceive_ = false;
    deliver();
}

QString messageLine(const QString& text) {
    QString line = text;
    return line.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QStringLiteral(" / "))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
}

}  // namespace tarvel
