#include "session/UpdateSession.h"

#include "update/UpdateForecast.h"

namespace tarvel {

namespace {
constexpr int kSuccess = 0, kFailed = 1, kUsage = 2, kTimeout = 3, kNoAnswer = 4,
              kInterrupted = 130;
}  // namespace

OutcomeName outcomeName(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::Success:
            return {QStringLiteral("success"), kSuccess};
        case UpdateOutcome::NoImage:
            return {QStringLiteral("no-image"), kUsage};
        case UpdateOutcome::Refused:
            return {QStringLiteral("refused"), kUsage};
        case UpdateOutcome::NoPort:
        case UpdateOutcome::Busy:
            return {QStringLiteral("error"), kUsage};
        case UpdateOutcome::Cancelled:
            return {QStringLiteral("cancelled"), kFailed};
        case UpdateOutcome::Failed:
            break;
    }
    return {QStringLiteral("error"), kFailed};
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

UpdateSession::UpdateSession(SessionServices services, const bool& manualFileSelect)
    : events_(services.clock),
      dialogs_(services.dialogs, events_),
      wire_(services.serial),
      link_(wire_, services.clock, services.pump, dialogs_, services.settings),
      status_(events_, services.clock, services.timer1),
      updater_({link_, status_, services.clock, services.pump, dialogs_, services.files,
                services.chooser, services.settings},
               services.imageFolder, manualFileSelect),
      communicationTest_(link_, status_, dialogs_, services.clock, services.pump) {
    wire_.onBytes = [this](const char* direction, const QByteArray& bytes) {
        events_.publish(WireBytes{0, direction[0] == 'T' ? Direction::Tx : Direction::Rx, bytes},
                        &ExchangeListener::wireBytes);
    };
    link_.onSlowAdapter = [this](const QString& hint) {
        events_.publish(Notice{0, Notice::Kind::AdapterHint, hint}, &ExchangeListener::notice);
    };
}

MessageResult UpdateSession::ToldDialogs::messageBox(const QString& text, const QString& title,
                                                     MessageIcon icon, MessageButtons buttons) {
    events_.publish(MessageShown{0, text, title, icon == MessageIcon::Critical},
                    &ExchangeListener::messageShown);
    return shown_.messageBox(text, title, icon, buttons);
}

bool UpdateSession::openPort(const PortChoice& choice) {
    return link_.openPort(choice);
}

void UpdateSession::closePort() {
    if (link_.MSComm1.PortOpen())
        link_.MSComm1.setPortOpen(false);
    updater_.closeImageFile();
}

void UpdateSession::warn(const QString& text) {
    events_.publish(Notice{0, Notice::Kind::Warning, text}, &ExchangeListener::notice);
}

void UpdateSession::stop(StopReason reason) {
    if (!exchange_)
        return;
    if (!stopped_)
        stopped_ = reason;
    updater_.cancel();
    communicationTest_.cancel();
}

UpdateOutcome UpdateSession::runUpdate() {
    if (busy())
        return UpdateOutcome::Busy;
    begin(ExchangeKind::Update);
    const UpdateOutcome outcome = updater_.StartUpdate();
    const OutcomeName name = outcomeName(outcome);
    if (outcome == UpdateOutcome::Cancelled && stopped_)
        end(stoppedWord(), stopped_ == StopReason::Timeout       ? kTimeout
                           : stopped_ == StopReason::NoAnswer    ? kNoAnswer
                           : stopped_ == StopReason::Interrupted ? kInterrupted
                                                                 : kFailed);
    else
        end(name.word, name.exitCode);
    return outcome;
}

std::optional<bool> UpdateSession::runCommunicationTest() {
    if (busy())
        return std::nullopt;
    begin(ExchangeKind::CommunicationTest);
    const bool passed = communicationTest_.RunComTest();
    if (stopped_)
        end(stoppedWord(), stopped_ == StopReason::Interrupted ? kInterrupted : kFailed);
    else
        end(passed ? QStringLiteral("success") : QStringLiteral("error"),
            passed ? kSuccess : kFailed);
    updater_.closeImageFile();
    return passed;
}

QString UpdateSession::stoppedWord() const {
    switch (*stopped_) {
        case StopReason::Timeout:
        case StopReason::NoAnswer:
            return QStringLiteral("timeout");
        case StopReason::Interrupted:
            return QStringLiteral("interrupted");
        case StopReason::ProgramExit:
            break;
    }
    return QStringLiteral("cancelled");
}

void UpdateSession::begin(ExchangeKind kind) {
    exchange_ = kind;
    stopped_.reset();
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

void UpdateSession::end(const QString& word, int exitCode) {
    ExchangeEnded ended;
    ended.kind = *exchange_;
    ended.word = word;
    ended.exitCode = exitCode;
    ended.bytesSent = wire_.bytesSent() - sentBefore_;
    ended.seconds = events_.now();
    const Updater::DataPhase& data = updater_.dataPhase;
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
}

}  // namespace tarvel
