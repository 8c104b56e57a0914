#pragma once

#include "serial/SerialLink.h"
#include "serial/WireLog.h"
#include "status/ExchangeEvents.h"
#include "status/StatusDisplay.h"
#include "update/CommunicationTest.h"
#include "update/EngineServices.h"
#include "update/Updater.h"

#include <QString>

#include <optional>

namespace tarvel {

// One program's dealings with a module, whichever front end drives it: the serial link, the
// update, the communication test, cancelling, and the events that tell every listener what
// happens. The window program and the command line each make one and subscribe their
// listeners; only one exchange runs at a time.
class UpdateSession {
  public:
    // Why an exchange was stopped from outside; it names the outcome. NoAnswer: the module did
    // not make itself known within the time the caller allows (--switch-wait): a time-out, whose
    // reason tells what the module said.
    enum class StopReason { ProgramExit, Timeout, Interrupted, NoAnswer };

    explicit UpdateSession(const EngineServices& services);

    void subscribe(ExchangeListener& listener) { events_.subscribe(listener); }
    void unsubscribe(ExchangeListener& listener) { events_.unsubscribe(listener); }

    // Closes the open port and opens the chosen one; says why when it cannot.
    bool openPort(const PortChoice& choice, QString* message = nullptr);
    void closePort();
    // Every byte both ways as transcript lines, handed to sink as they pass (on the line's
    // thread: the sink only queues them).
    void keepTranscript(std::function<void(const QByteArray& lines)> sink) {
        wire_.onTranscript = std::move(sink);
    }

    // An update or a communication test holds the port.
    bool busy() const { return exchange_.has_value(); }
    bool updating() const { return exchange_ == ExchangeKind::Update; }
    // Runs a whole update; Busy without doing anything while an exchange runs.
    EngineOutcome runUpdate();
    // Runs the communication test; nothing while an exchange runs, else whether it passed.
    std::optional<bool> runCommunicationTest();
    // Ends the running exchange at its next wait.
    void stop(StopReason reason);
    // Tells every listener of something the technician should know.
    void warn(const QString& text);
    // Tells every listener where the record's log of the running exchange lies.
    void logOpened(const QString& path);

    SerialLink& link() { return link_; }
    StatusDisplay& status() { return status_; }
    Updater& updater() { return updater_; }
    const Updater& updater() const { return updater_; }
    ExchangeEvents& events() { return events_; }

  private:
    void begin(ExchangeKind kind);
    void end(Outcome outcome, Reason reason);
    // The outcome of an exchange that was stopped from outside.
    Outcome stoppedOutcome() const;

    ExchangeEvents events_;
    WireLog wire_;
    SerialLink link_;
    StatusDisplay status_;
    Updater updater_;
    CommunicationTest communicationTest_;
    std::optional<ExchangeKind> exchange_;
    std::optional<StopReason> stopped_;
    qint64 sentBefore_ = 0;
};

// The engine's outcome of an update as the record and the command line name it.
Outcome outcomeOf(EngineOutcome outcome);

// The data phase as the summary and the log say it: "data phase 65536 bytes in 5.7 s, 99.1 % of
// the line rate (11520 bytes/s)"; empty for an exchange without one.
QString dataPhaseText(const ExchangeEnded& ended);

}  // namespace tarvel
