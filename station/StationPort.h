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

// What the live line of a port shows.
struct PortView {
    QString port;
    QString module;
    QString image;
    QString word;  // the status word, the outcome's word once it ended, or "waiting"
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
    // childArguments: what every child gets besides --port and --next-module.
    StationPort(QString port, QStringList childArguments, bool repeat);
    ~StationPort();
    StationPort(const StationPort&) = delete;
    StationPort& operator=(const StationPort&) = delete;

    void start();
    // Ctrl+C: the running child gets SIGINT (it ends interrupted and records that itself); no
    // child follows.
    void stop();
    bool finished() const { return finished_; }

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

  private:
    void startChild();
    void readLines();
    void take(const QJsonObject& event);
    void childEnded(int exitCode, QProcess::ExitStatus status);
    ModuleResult result(int exitCode, QProcess::ExitStatus status) const;

    QString port_;
    QStringList childArguments_;
    bool repeat_;
    bool stopping_ = false;
    bool finished_ = false;
    // The module updated last may still be attached: the next child waits for the port to fall
    // silent first.
    bool nextModuleOnly_ = false;
    std::unique_ptr<QProcess> child_;
    QTimer restart_;
    QByteArray pending_;  // stdout not yet a whole line
    QByteArray errors_;   // the running child's stderr
    // The running child's update, as far as its events told it.
    QString module_, image_, status_;
    int percent_ = -1;
    std::optional<OutcomeRecord> outcome_;
    QStringList warnings_;     // the running child's warnings
    bool moduleLeft_ = false;  // the module updated before has gone quiet
    QElapsedTimer since_;
    std::vector<ModuleResult> results_;
};

}  // namespace tarvel
