#include "session/UpdateSession.h"

#include "update/UpdateForecast.h"

namespace tarvel {

Outcome outcomeOf(EngineOutcome outcome) {
    switch (outcome) {
        case EngineOutcome::Success:
            return Outcome::Success;
        case EngineOutcome::NoImage:
            return Outcome::NoImage;
        case EngineOutcome::Refused:
            return Outcome::Refused;
        case EngineOutcome::Cancelled:
            return Outcome::Cancelled;
        case EngineOutcome::NoPort:
        case EngineOutcome::Busy:
        case EngineOutcome::Error:
            break;
    }
    return Outcome::Error;
}

QString dataPhaseText(const ExchangeEnded& ended) {
    if (!ended.dataBytes)
        return QString();
    const QString phase = QStringLiteral("data phase %1 bytes in %2 s, ")
                              .arg(*ended.dataBytes)
                              .arg(*ended.dataSeconds, 0, 'f', 1);
    if (!ended.dataLineShare) {
        return phase + QStringLiteral(
                           "faster than the line rate (%1 bytes/s): no serial line at "
                           "115200 baud")
                           .arg(kLineBytesPerSecond);
    }
    return phase + QStringLiteral("%1 % of the line rate (%2 bytes/s)")
                       .arg(*ended.dataLineShare, 0, 'f', 1)
                       .arg(kLineBytesPerSecond);
}

UpdateSession::UpdateSession(const EngineServices& services)
    : events_(services.clock, services.pump),
      wire_(services.serial),
      link_(wire_, services.clock, services.pump, services.dialogs, services.settings),
      status_(events_, services.clock, services.timer1, services.dialogs),
      updater_(services, link_, status_),
      communicationTest_(link_.replies(), status_, services.clock) {
    // Received bytes are read inside the receive handler, which must return before anyone
    // hears of them; what is sent is told at once.
    wire_.onBytes = [this](Direction direction, const QByteArray& bytes) {
        if (direction == Direction::Tx)
            events_.publish(WireBytes{0, direction, bytes}, &ExchangeListener::wireBytes);
        else
            events_.publishAfterReceive(WireBytes{0, direction, bytes},
                                        &ExchangeListener::wireBytes);
    };
    link_.onSlowAdapter = [this](const QString& hint) {
        events_.publish(Notice{0, Notice::Kind::AdapterHint, hint}, &ExchangeListener::notice);
    };
}

bool UpdateSession::openPort(const PortChoice& choice, QString* message) {
    return link_.openPort(choice, message);
}

void UpdateSession::closePort() {
    if (link_.MSComm1.PortOpen())
        link_.MSComm1.setPortOpen(false);
    updater_.closeImageFile();
}

void UpdateSession::warn(const QString& text) {
    events_.publish(Notice{0, Notice::Kind::Warning, text}, &ExchangeListener::notice);
}

void UpdateSession::logOpened(const QString& path) {
    events_.publish(LogOpened{0, path}, &ExchangeListener::logOpened);
}

void UpdateSession::stop(StopReason reason) {
    if (!exchange_)
        return;
    if (!stopped_)
        stopped_ = reason;
    link_.replies().stop();
}

EngineOutcome UpdateSession::runUpdate() {
    if (busy())
        return EngineOutcome::Busy;
    begin(ExchangeKind::Update);
    const EngineOutcome outcome = updater_.StartUpdate();
    const Outcome ended =
        outcome == EngineOutcome::Cancelled && stopped_ ? stoppedOutcome() : outcomeOf(outcome);
    end(ended, updater_.reason(ended));
    return outcome;
}

std::optional<bool> UpdateSession::runCommunicationTest() {
    if (busy())
        return std::nullopt;
    begin(ExchangeKind::CommunicationTest);
    const bool passed = communicationTest_.RunComTest();
    if (stopped_) {
        const Outcome how = stoppedOutcome();
        end(how, Reason{how == Outcome::Timeout       ? ReasonCode::Timeout
                        : how == Outcome::Interrupted ? ReasonCode::Interrupted
                                                      : ReasonCode::Cancelled,
                        QStringLiteral("Stopped before the test ended.")});
    } else {
        end(passed ? Outcome::Success : Outcome::Error, communicationTest_.reason());
    }
    updater_.closeImageFile();
    return passed;
}

Outcome UpdateSession::stoppedOutcome() const {
    switch (*stopped_) {
        case StopReason::Timeout:
        case StopReason::NoAnswer:
            return Outcome::Timeout;
        case StopReason::Interrupted:
            return Outcome::Interrupted;
        case StopReason::ProgramExit:
            break;
    }
    return Outcome::Cancelled;
}

void UpdateSession::begin(ExchangeKind kind) {
    exchange_ = kind;
    stopped_.reset();
    status_.forgetEnd();
    sentBefore_ = wire_.bytesSent();
    events_.restartTime();
    const CommControl& port = link_.MSComm1;
    const QString device = port.devicePath();
    // The port as the technician chose it: "COM3", or a device given by its path.
    const QString name =
        port.chosenByPath() ? device : QStringLiteral("COM%1").arg(port.CommPort());
    events_.publish(ExchangeStarted{0, kind, name, device, wire_.latencyTimerMs()},
                    &ExchangeListener::exchangeStarted);
}

void UpdateSession::end(Outcome outcome, Reason reason) {
    ExchangeEnded ended;
    ended.kind = *exchange_;
    ended.outcome = outcome;
    ended.reason = std::move(reason);
    ended.bytesSent = wire_.bytesSent() - sentBefore_;
    ended.seconds = status_.endedAt().value_or(events_.now());
    ended.clock = status_.stoppedClock();
    if (*exchange_ == ExchangeKind::Update) {
        ended.image = updater_.chosenImage();
        ended.module = updater_.identifiedAs();
    }
    const DataPhase& data = updater_.dataPhase();
    if (*exchange_ == ExchangeKind::Update && data.start >= 0 && data.end > data.start) {
        ended.dataBytes = data.bytes;
        ended.dataSeconds = data.end - data.start;
        // Bytes and the reply that proves them sent cannot beat the line: a higher share means
        // a line that is no serial line at 115200 baud (a pseudo-terminal), and is no figure.
        const double share = 100.0 * data.bytes / *ended.dataSeconds / kLineBytesPerSecond;
        if (share <= 100.0)
            ended.dataLineShare = share;
    }
    exchange_.reset();
    events_.publish(ended, &ExchangeListener::exchangeEnded);
    events_.deliverPending();
}

}  // namespace tarvel
