#pragma once

#include "record/BackgroundWorker.h"
#include "record/HistoryRow.h"
#include "record/ProcessIdentity.h"
#include "update/ReleaseMemory.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace tarvel {

class LogFile;

// The one warning of an exchange whose record cannot be written: what could not be written and
// the system's reason.
QString recordWarning(const QString& what, const QString& reason);

// Writes the record of exchanges on a worker of its own, so that neither a slow disk nor a
// history that another process holds locked ever holds up the line. Log lines go out in the
// order they came, whole, as soon as the worker gets to them. The history row is written when
// the exchange starts, at each change marked urgent, at least every five seconds while it runs
// (its duration advanced, so that a killed run's row tells how far it got), and when it ends.
// A busy history and any other failure follow the worker's rules (BackgroundWorker); any other
// failure costs one warning per exchange.
class RecordWriter {
  public:
    // How often the row of a running exchange is brought up to date, at the least.
    static constexpr int kRefreshMs = 5000;

    // station: what the rows of an older history are marked with as it is brought up to date;
    // empty: the host's name.
    explicit RecordWriter(QString folder, QString station = QString());
    // Waits up to kExitWaitMs for what it holds; see finish().
    ~RecordWriter();
    RecordWriter(const RecordWriter&) = delete;
    RecordWriter& operator=(const RecordWriter&) = delete;

    // A new exchange: its log, made and open (or null when none could be made), and its row as
    // known at its start. warned: its one warning has been given already.
    void begin(std::unique_ptr<LogFile> log, const HistoryRow& row, const ProcessIdentity& owner,
               bool warned);
    // Whole lines for the running exchange's log, each ending with a line break.
    void append(const QByteArray& lines);
    // The row as known now. urgent: write it at once rather than within five seconds.
    void update(const HistoryRow& row, bool urgent);
    // The exchange has ended with this row; its log is closed once written.
    void end(const HistoryRow& row);

    // The newest signed list of the key with which a transfer began, read on the writer's thread
    // after what was handed over before; waits at most ms, then says that it cannot be told.
    ReleaseMemory::Newest newestRelease(const QString& keyId, int ms);

    // Waits until everything handed over is written, at most ms milliseconds. Empty when it
    // was; otherwise what is still missing, in a sentence for the technician.
    QString waitUntilWritten(int ms);
    // Writes what it can within ms milliseconds, then stops; what is missing then, as above,
    // after the warnings that onWarning has not been told yet, one a line. Returns by then even
    // when a disk holds the worker: the worker is left behind to end on its own. Nothing is
    // written after it.
    QString finish(int ms);

    // Tells onWarning from the event loop of the thread that made the writer.
    void warnLater(const QString& warning);

    // Told on the thread that made the writer: a warning for the technician (a record that
    // cannot be written), and that the history has changed.
    std::function<void(const QString& warning)> onWarning;
    std::function<void()> onHistoryChanged;

    static constexpr int kExitWaitMs = 15000;

  private:
    struct Exchange;
    class Writing;

    QObject relay_;  // lives on the thread that made the writer
    QString folder_;
    std::optional<HistoryRow> lastRow_;  // of the latest exchange, as last handed over
    QStringList untold_;                 // warnings handed to the event loop and not told yet
    std::unique_ptr<Worker<Writing>> worker_;
    bool finished_ = false;
};

}  // namespace tarvel
