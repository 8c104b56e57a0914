#pragma once

#include "central/CentralHistory.h"
#include "record/BackgroundWorker.h"
#include "record/HistoryRow.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

namespace tarvel {

// What the History window shows: the rows, newest first, and whose they are.
struct HistoryRead {
    std::vector<HistoryRow> rows;
    // The line's history, every station's rows; else this station's own file.
    bool line = false;
    // Why this station's own rows are shown although the line's were asked for; empty otherwise.
    QString notice;
};

// Reads the history for the History window on a worker of its own: the window's thread also
// runs the exchanges with the module, which must never wait for the database (another
// process's write, the settling of rows whose process is gone) or for the network. With a
// line's history set it reads the server, as `tarvel-update history` does; when the server
// cannot be read it reads this station's own file instead and says why, and tries the server
// again after kCentralRetryMs, or at once when asked to. Made, used and destroyed on the worker's
// thread; its jobs call readIfChanged.
class HistoryReader : public BackgroundTask {
  public:
    // How long after a failure the server is tried again, unless a read is forced.
    static constexpr int kCentralRetryMs = 10000;

    HistoryReader(QString stateFolder, HistoryDestination line);
    ~HistoryReader() override;

    qint64 work(bool) override { return kWhenHanded; }
    bool pending() const override { return false; }
    QString undone() const override { return QString(); }
    // Hands fn to the window's thread.
    using BackgroundTask::tell;

    // The rows when they changed since the last read (the history's files, the server's rows),
    // a row was still running then (its process may have gone since), the source changed, or
    // force; nothing otherwise. localOnly: this station's own, also with a line's history set.
    std::optional<HistoryRead> readIfChanged(bool force, bool localOnly);
    // The report of the rows filter selects, counted where the last rows were read (the line's
    // history, or this station's own file); none with why when it cannot be read.
    std::optional<HistoryReport> report(const HistoryFilter& filter,
                                        const std::vector<ReportGroup>& by, QString* why);

  private:
    enum class Source { None, Line, Local, LocalInstead };
    // This station's own rows, when its files changed or force.
    std::optional<std::vector<HistoryRow>> readLocal(bool force);
    // The line's rows, when they changed or force; none with problem_ set when they cannot be
    // read, none with problem_ empty when they did not change.
    std::optional<std::vector<HistoryRow>> readLine(bool force);
    // The database and its write-ahead log as the file system sees them: any commit changes it.
    QString filesNow() const;

    QString folder_;
    HistoryDestination destination_;
    std::unique_ptr<CentralHistory>
        server_;  // made on the reader's thread, which its connection serves
    Source shown_ = Source::None;
    QString filesRead_;
    bool runningRead_ = false;
    QString serverRead_;    // the server's mark (CentralHistory::changeMark) at the last read
    QString problem_;       // why the server cannot be read; empty while it can
    QElapsedTimer failed_;  // since the server last failed
};

}  // namespace tarvel
