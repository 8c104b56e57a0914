#pragma once

#include "platform/Dialogs.h"
#include "serial/SerialLink.h"
#include "serial/WireLog.h"
#include "status/ExchangeEvents.h"
#include "status/StatusDisplay.h"
#include "update/CommunicationTest.h"
#include "update/Updater.h"

#include <QString>

#include <optional>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class FileChooser;
class FileSystem;
class IntervalTimer;
class SerialDevice;
class SettingsStore;

// What a session reaches the world through.
struct SessionServices {
    Clock& clock;
    EventPump& pump;
    const SettingsStore& settings;
    Dialogs& dialogs;
    SerialDevice& serial;
    IntervalTimer& timer1;  // the elapsed-time clock's tick
    FileSystem& files;
    FileChooser* chooser;  // the expert's selection window; none without a window
    QString imageFolder;
};

// One program's dealings with a module, whichever front end drives it: the serial link, the
// update, the communication test, cancelling, and the events that tell every listener what
// happens. The window program and the command line each make one and subscribe their
// listeners; only one exchange runs at a time.
class UpdateSession {
  public:
    // Why an exchange was stopped from outside; it names the outcome. NoAnswer: the module did
    // not make itself known within the time the caller allows (a timeout of its own).
    enum class StopReason { ProgramExit, Timeout, Interrupted, NoAnswer };

    UpdateSession(SessionServices services, const bool& manualFileSelect);

    void subscribe(ExchangeListener& listener) { events_.subscribe(listener); }
    void unsubscribe(ExchangeListener& listener) { events_.unsubscribe(listener); }

    // Closes the open port and opens the chosen one; says why when it cannot.
    bool openPort(const PortChoice& choice);
    void closePort();
    // Every byte both ways into a file as well; false when it cannot be written.
    bool writeTranscriptTo(const QString& path, QString* error) {
        return wire_.writeTranscriptTo(path, error);
    }

    // An update or a communication test holds the port.
    bool busy() const { return exchange_.has_value(); }
    bool updating() const { return exchange_ == ExchangeKind::Update; }
    // Runs a whole update; Busy without doing anything while an exchange runs.
    UpdateOutcome runUpdate();
    // Runs the communication test; nothing while an exchange runs, else whether it passed.
    std::optional<bool> runCommunicationTest();
    // Ends the running exchange at its next wait.
    void stop(StopReason reason);
    // Tells every listener of something the technician should know.
    void warn(const QString& text);

    SerialLink& link() { return link_; }
    StatusDisplay& status() { return status_; }
    Updater& updater() { return updater_; }
    const Updater& updater() const { return updater_; }
    ExchangeEvents& events() { return events_; }

  private:
    void begin(ExchangeKind kind);
    void end(const QString& word, int exitCode);
    QString stoppedWord() const;

    // Shows the engine's message boxes and tells the listeners of each.
    class ToldDialogs : public Dialogs {
      public:
        ToldDialogs(Dialogs& shown, ExchangeEvents& events) : shown_(shown), events_(events) {}
        MessageResult messageBox(const QString& text, const QString& title, MessageIcon icon,
                                 MessageButtons buttons) override;

      private:
        Dialogs& shown_;
        ExchangeEvents& events_;
    };

    ExchangeEvents events_;
    ToldDialogs dialogs_;
    WireLog wire_;
    SerialLink link_;
    StatusDisplay status_;
    Updater updater_;
    CommunicationTest communicationTest_;
    std::optional<ExchangeKind> exchange_;
    std::optional<StopReason> stopped_;
    qint64 sentBefore_ = 0;
};

// How the record and the command line name an update's outcome, and the command line's exit
// status for it. A stopped update takes the word and status of why it was stopped.
struct OutcomeName {
    QString word;
    int exitCode;
};
OutcomeName outcomeName(UpdateOutcome outcome);

// The data phase as the summary and the log say it: "data phase 65536 bytes in 5.7 s, 99.1 % of
// the line rate (11520 bytes/s)"; empty for an exchange without one.
QString dataPhaseText(const ExchangeEnded& ended);

}  // namespace tarvel
