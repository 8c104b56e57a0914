#pragma once

#include "record/HistoryRow.h"
#include "record/ProcessIdentity.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>
#include <QVariantList>

#include <optional>
#include <vector>

namespace tarvel {

// Which rows to list; an empty field takes any.
// The outcome filter's word for every failure: any outcome but success and running.
inline const char* const kEveryFailure = "failed";

struct HistoryFilter {
    QString kind;
    QString station;
    QString port;          // the name the run gave it (COM1), or its device
    QString outcome;       // an outcome's word, or kEveryFailure
    QDateTime since;       // invalid: from the first
    QDateTime until;       // only what started before it; invalid: to the newest
    int last = 0;          // only the newest this many; 0: all
    bool pending = false;  // only rows the line's history does not have as they are (outbox)
};

// A row of the outbox: the row, its revision, and the process that ran it.
struct OutboxRow {
    HistoryRow row;
    qint64 startedMs = 0;
    qint64 revision = 0;
    ProcessIdentity owner;
};

// The filter as SQL: a condition on the history table, and the values for its "?" in order.
struct HistoryCondition {
    QString where;
    QVariantList values;
};
HistoryCondition historyCondition(const HistoryFilter& filter);

// The newest rows of a history that match the filter, on any connection (a station's own file
// or the line's server); none with the reason when they cannot be read.
std::optional<std::vector<HistoryRow>> readHistoryRows(QSqlDatabase& database,
                                                       const HistoryFilter& filter,
                                                       QString* reason);

// This station's name for the line's history: [Station] Name= where set, else the host's name.
QString defaultStationName();

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
// A history that a newer program wrote is neither read nor written: its tables may differ.
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

    // The station that older rows are marked with when the history is brought up to date;
    // defaultStationName() unless set.
    void setStation(const QString& station) { station_ = station; }

    // Opens the database, made and brought up to date where needed, and settles the rows of
    // processes that are gone. For reading only (forWriting false) a history of this version is
    // opened read-only, its journal mode left as it is, so that a user who may not write it reads
    // it all the same; a folder without any history is left as it is, and open() is false with
    // an empty reason. Either way a history of a newer version is refused before anything is
    // written to it, and so is one that is no database.
    bool open(bool forWriting = true);
    bool isOpen() const;
    QSqlDatabase database() const;
    const QString& reason() const { return reason_; }
    // The last failure was another process holding the database: trying again later may work.
    bool busy() const { return busy_; }
    // What open() has to say of an old history.csv it imported: the records it left out, or why
    // it left the whole file; or of a history that was no database, moved aside and started
    // anew. Empty when there was none, or nothing to say.
    const QString& importWarning() const { return importWarning_; }

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
    // The outbox: the oldest `limit` rows the line's history lacks as they are now; without
    // those it was found to hold otherwise at their revision unless withHeld.
    std::optional<std::vector<OutboxRow>> outbox(int limit, bool withHeld = true);
    // The line's history has each row (by id) at its revision, or a later one.
    bool markForwarded(const std::vector<std::pair<qint64, qint64>>& revisions);
    // The line's history holds the row (by id) otherwise than this station wrote it at that
    // revision, and why; *marked false when the row has been written again since. False with
    // reason() when it cannot be written.
    bool markHeld(qint64 id, qint64 revision, const QString& why, bool* marked);
    // The rows the line's history lacks as they are now, each as "exchange_id started port";
    // none with reason() when they cannot be read.
    std::optional<QStringList> pendingNames();
    // Whether the history holds the row of that exchange.
    std::optional<bool> holds(const QString& exchangeId);
    // Why the line's history holds a pending row otherwise, by exchange id, for those it does.
    std::optional<std::vector<std::pair<QString, QString>>> heldRows();
    // The time of the newest signed list of that key with which a transfer began, into *newest
    // (none when none did); false with reason() when it cannot be read.
    bool newestRelease(const QString& keyId, std::optional<qint64>* newest);
    // The logs of ended exchanges beyond both the newest `kept` by start time (a start later
    // than now counting as now) and the last `kept` begun.
    std::vector<SpareLog> spareLogs(int kept);
    // Their rows keep naming them, but no longer hold them.
    bool forgetLogs(const std::vector<qint64>& ids);

  private:
    enum class Access { ReadWrite, ReadOnly, Immutable };
    // The connection alone, nothing run on it yet.
    bool connect(Access access);
    void disconnect();
    // Opened read-only: true when it is of this version and can be used as it is.
    bool openForReading();
    // A file that is no database moved aside; false when it cannot be.
    bool moveAside(const QString& file);
    bool exec(QSqlQuery& query);
    bool run(const QString& statement);
    // The statement once for each id, all in one transaction.
    bool eachInOneTransaction(QSqlQuery& statement, const std::vector<qint64>& ids);

    QString folder_;
    QString station_;
    QString connection_;
    int busyTimeoutMs_;
    QString reason_;
    bool busy_ = false;
    QString importWarning_;
    bool noDatabase_ = false;  // the file found is no SQLite database at all
    QString aside_;            // where a damaged history was moved
    QString asideWhy_;         // and why
    Access access_ = Access::ReadWrite;
};

}  // namespace tarvel
