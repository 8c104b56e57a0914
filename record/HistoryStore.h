#pragma once

#include "record/HistoryRow.h"
#include "record/ProcessIdentity.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

#include <optional>
#include <vector>

namespace tarvel {

// Which rows to list; an empty field takes any.
struct HistoryFilter {
    QString kind;
    QString port;  // the name the run gave it (COM1), or its device
    QString outcome;
    QDateTime since;  // invalid: from the first
    QDateTime until;  // only what started before it; invalid: to the newest
    int last = 0;     // only the newest this many; 0: all
};

// A log whose row the history no longer needs it for.
struct SpareLog {
    qint64 id = 0;
    QString path;
};

// The history of exchanges in <folder>/history.sqlite, through Qt SQL's SQLite driver. Several
// processes write it at once (eight updates side by side on a production line): it is kept in
// WAL mode, so that reading never waits for writing, and a writer waits for another's
// transaction instead of failing. Every write is one transaction; one that fails (a full disk, a
// read-only folder) leaves the database as it was and tells the system's reason in reason().
class HistoryStore {
  public:
    // How long a writer waits for another process's transaction, at most, by default.
    static constexpr int kBusyTimeoutMs = 10000;

    // busyTimeoutMs: how long a write waits for another process's transaction before it fails
    // as busy().
    explicit HistoryStore(QString folder, int busyTimeoutMs = kBusyTimeoutMs);
    ~HistoryStore();
    HistoryStore(const HistoryStore&) = delete;
    HistoryStore& operator=(const HistoryStore&) = delete;

    static QString fileIn(const QString& folder);

    // Opens the database, made and brought up to date where needed, and settles the rows of
    // processes that are gone. When create is false a folder without any history is left as it
    // is, and open() is false with an empty reason.
    bool open(bool create = true);
    bool isOpen() const;
    QSqlDatabase database() const;
    const QString& reason() const { return reason_; }
    // The last failure was another process holding the database: trying again later may work.
    bool busy() const { return busy_; }

    // The row of an exchange that starts in process owner; its id.
    std::optional<qint64> add(const HistoryRow& row, const ProcessIdentity& owner);
    // What is known of the exchange by now, or how it ended; by row.id.
    bool update(const HistoryRow& row);
    // Rows "running" whose process is gone read "unfinished" from now on.
    bool settleAbandoned();

    // Newest first; none with reason() when they cannot be read.
    std::optional<std::vector<HistoryRow>> rows(const HistoryFilter& filter);
    // The log of the newest exchange that has one, whichever process ran it.
    QString newestLog();
    // The logs of ended exchanges beyond both the newest `kept` by start time (a start later
    // than now counting as now) and the last `kept` begun.
    std::vector<SpareLog> spareLogs(int kept);
    // Their rows keep naming them, but no longer hold them.
    bool forgetLogs(const std::vector<qint64>& ids);

  private:
    bool exec(QSqlQuery& query);
    bool run(const QString& statement);
    // The statement once for each id, all in one transaction.
    bool eachInOneTransaction(QSqlQuery& statement, const std::vector<qint64>& ids);

    QString folder_;
    QString connection_;
    int busyTimeoutMs_;
    QString reason_;
    bool busy_ = false;
};

}  // namespace tarvel
