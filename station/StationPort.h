#pragma once

#include "station/OutcomeJson.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QJsonValue>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace tarvel {

// How one module's update on a station's port ended, as its child process told it.
struct ModuleResult {
    QString module;  // the announcement or probed type; empty when none made itself known
    QString image;   // the image's file name; empty when none was chosen
    // Its outcome line; a child that gave none crashed.
    OutcomeRecord ended;
    int percent = -1;  // how far its progress got; -1: none
    QString errors;    // its warnings, and what a child that gave no outcome said on stderr
};

// Where a port stands, as its tile or line shows it.
enum class PortState {
    Idle,     // no update runs, none has ended, or the last one's failure was acknowledged
    Running,  // an update runs
    Waiting,  // for the next module (repeat)
    Passed,   // the last update succeeded, and no other follows yet
    Failed,   // the last update failed; with held, nothing follows until it is acknowledged
};

// What the live line of a port shows.
struct PortView {
    QString port;
    QString module;
    QString image;
    QString word;  // the status word, the outcome's word once it ended, or "waiting"
    // The status as the window shows it, in both languages; empty before the first.
    QString english, german;
    PortState state = PortState::Idle;
    bool held = false;  // a failure that holds the port until it is acknowledged
    QString reason;     // the last failure's sentence, as the log and the history give it
    std::optional<Outcome> outcome;  // the outcome the word is of, once one ended
    bool waiting = false;            // for the next module
    int percent = -1;                // -1: no progress yet
    double seconds = 0;
    int done = 0;  // modules counted so far
    // The module that failed is still attached: the line shows its failure until it is taken
    // off.
    bool takeOff = false;
};

// One port of a station: the `tarvel-update update --json` child process that updates its
// module, read line by line; with repeat, one child after another, each waiting for the next
// module. A child that crashes or loses its port affects no other port.
class StationPort {
  public:
    // program: tarvel-update; childArguments: what every child gets besides --port and
    // --next-module.
    StationPort(QString program, QString port, QStringList childArguments, bool repeat);
    ~StationPort();
    StationPort(const StationPort&) = delete;
    StationPort& operator=(const StationPort&) = delete;

    // Starts the port's first update, or its next one after the last has ended.
    void start();
    // With repeat, whether the next update starts only once a failure is acknowledged, so that
    // a failed module cannot be mistaken for the next good one.
    void setHoldFailures(bool hold) { holdFailures_ = hold; }
    // Takes effect at the next start.
    void setRepeat(bool repeat) { repeat_ = repeat; }
    // The last update's failure seen: a held port goes on with its next module, an ended one is
    // idle again. False when there was no failure to acknowledge.
    bool acknowledge();
    // Ctrl+C: the running child gets SIGINT (it ends interrupted and records that itself); no
    // child follows.
    void stop();
    bool finished() const { return finished_; }
    // An update process runs, or is about to start again.
    bool busy() const;

    PortView view() const;
    const std::vector<ModuleResult>& results() const { return results_; }

    // Each of the child's JSON lines, with the port added.
    std::function<void(const QByteArray& line)> onJsonLine;
    // What changed, as a line of text without the port ("module DVBSAT", "Running", "50%").
    std::function<void(const QString& change)> onChange;
    // The child's history row may have changed (a new status, its end): for the station's
    // forwarder, since the children leave forwarding to it.
    std::function<void()> onRecorded;
    // The port has ended: no child runs and none will.
    std::function<void()> onFinished;
    // A module's update has ended and is counted in results(); its row is written.
    std::function<void()> onModuleEnded;

  private:
    void startChild();
    void readLines();
    void take(const QJsonObject& event);
    void childEnded(int exitCode, QProcess::ExitStatus status);
    ModuleResult result(int exitCode, QProcess::ExitStatus status) const;

    PortView runningView() const;

    QString program_;
    QString port_;
    QStringList childArguments_;
    bool repeat_;
    bool stopping_ = false;
    bool finished_ = false;
    bool holdFailures_ = false;
    bool held_ = false;          // a failure waits to be acknowledged before the next module
    bool acknowledged_ = false;  // the last failure was seen: the port is idle
    // The module updated last may still be attached: the next child waits for the port to fall
    // silent first.
    bool nextModuleOnly_ = false;
    std::unique_ptr<QProcess> child_;
    QTimer restart_;
    QByteArray pending_;  // stdout not yet a whole line
    QByteArray errors_;   // the running child's stderr
    // The running child's update, as far as its events told it.
    QString module_, image_, status_, english_, german_;
    int percent_ = -1;
    std::optional<OutcomeRecord> outcome_;
    QStringList warnings_;     // the running child's warnings
    bool moduleLeft_ = false;  // the module updated before has gone quiet
    QElapsedTimer since_;
    std::vector<ModuleResult> results_;
};

// tarvel-update beside the running program: the command line itself, or the one installed with
// the window program.
QString updateProgramBeside();

}  // namespace tarvel
