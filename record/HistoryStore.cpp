#include "record/HistoryStore.h"

#include "record/BackgroundWorker.h"
#include "record/HistoryColumns.h"
#include "record/HistorySchema.h"
#include "record/SqlValue.h"
#include "record/SqliteReason.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>
#include <QSysInfo>
#include <QUrl>
#include <QUuid>
#include <QVariant>

#include <cerrno>
#include <cstring>
#include <utility>

#ifndef Q_OS_WIN
#include <unistd.h>
#endif

namespace tarvel {

namespace {

// Every column of the history, by name.
QString columnList() {
    QStringList names;
    for (const HistoryColumn& column : historyColumns())
        names << QLatin1String(column.name);
    return names.join(QStringLiteral(", "));
}

// The columns of every row as they are written: those of historyColumns() and those the row was
// made with.
HistoryRow rowFrom(const QSqlQuery& query,
                   const std::vector<std::pair<const HistoryColumn*, int>>& read, int id) {
    HistoryRow row;
    row.id = query.value(id).toLongLong();
    for (const auto& [column, index] : read)
        column->assign(row, query.value(index));
    return row;
}

std::vector<std::pair<const HistoryColumn*, int>> columnsOf(const QSqlRecord& result) {
    std::vector<std::pair<const HistoryColumn*, int>> read;
    for (const HistoryColumn& column : historyColumns())
        read.emplace_back(&column, result.indexOf(QLatin1String(column.name)));
    return read;
}

// Why the history cannot be written, in the system's own words (SQLite's would only say that it
// cannot open it); empty when it can. A file that is there is asked about without being opened:
// POSIX record locks belong to the process, so closing any descriptor of the file drops every
// lock this process's SQLite connections hold on it. Another process would then take the history
// for unused as it closes, checkpoint it and delete the write-ahead log that the commits of this
// process go on to: they would be lost.
QString unwritableReason(const QString& file) {
#ifndef Q_OS_WIN
    if (QFileInfo::exists(file)) {
        return ::access(QFile::encodeName(file).constData(), W_OK) == 0
                   ? QString()
                   : QString::fromLocal8Bit(std::strerror(errno));
    }
#endif
    QFile probe(file);  // made, and closed again before SQLite opens it
    return probe.open(QIODevice::ReadWrite) ? QString() : probe.errorString();
}

}  // namespace

QString defaultStationName() {
    return QSysInfo::machineHostName();
}

HistoryCondition historyCondition(const HistoryFilter& filter) {
    HistoryCondition condition;
    QString& where = condition.where;
    QVariantList& values = condition.values;
    where = QStringLiteral("1 = 1");
    const bool everyFailure = filter.outcome == QLatin1String(kEveryFailure);
    if (everyFailure)
        where += QStringLiteral(" AND outcome NOT IN ('success', 'running')");
    const std::pair<const char*, QString> equal[] = {
        {"kind", filter.kind},
        {"outcome", everyFailure ? QString() : filter.outcome},
        {"station", filter.station}};
    for (const auto& [column, value] : equal) {
        if (!value.isEmpty()) {
            where += QStringLiteral(" AND %1 = ?").arg(QLatin1String(column));
            values << value;
        }
    }
    // A port by the name the run gave it, or by its device.
    if (!filter.port.isEmpty()) {
        where += QStringLiteral(" AND (port = ? OR device = ?)");
        values << filter.port << filter.port;
    }
    if (filter.since.isValid()) {
        where += QStringLiteral(" AND started_ms >= ?");
        values << filter.since.toMSecsSinceEpoch();
    }
    if (filter.until.isValid()) {
        where += QStringLiteral(" AND started_ms < ?");
        values << filter.until.toMSecsSinceEpoch();
    }
    if (filter.pending)
        where += QStringLiteral(" AND revision > forwarded");
    return condition;
}

std::optional<std::vector<HistoryRow>> readHistoryRows(QSqlDatabase& database,
                                                       const HistoryFilter& filter,
                                                       QString* reason) {
    const auto [where, values] = historyCondition(filter);
    QSqlQuery query(database);
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT id, %1 FROM history WHERE %2 "
                       "ORDER BY started_ms DESC, id DESC%3")
            .arg(columnList(), where,
                 filter.last > 0 ? QStringLiteral(" LIMIT %1").arg(filter.last) : QString()));
    for (const QVariant& value : values)
        query.addBindValue(value);
    if (!query.exec()) {
        *reason = sqliteFailureReason(database, query.lastError());
        return std::nullopt;
    }
    // Each column by its name in the result.
    const auto read = columnsOf(query.record());
    const int id = query.record().indexOf(QStringLiteral("id"));
    std::vector<HistoryRow> rows;
    while (query.next())
        rows.push_back(rowFrom(query, read, id));
    return rows;
}

HistoryStore::HistoryStore(QString folder, int busyTimeoutMs)
    : folder_(std::move(folder)),
      station_(defaultStationName()),
      connection_(uniqueConnectionName(QStringLiteral("history"))),
      busyTimeoutMs_(busyTimeoutMs) {}

HistoryStore::~HistoryStore() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QString HistoryStore::fileIn(const QString& folder) {
    return folder + QStringLiteral("/history.sqlite");
}

QSqlDatabase HistoryStore::database() const {
    return QSqlDatabase::database(connection_, false);
}

bool HistoryStore::isOpen() const {
    return QSqlDatabase::contains(connection_) && database().isOpen();
}

bool HistoryStore::connect(Access access) {
    QSqlDatabase database = QSqlDatabase::contains(connection_)
                                ? QSqlDatabase::database(connection_, false)
                                : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connection_);
    if (!database.isValid()) {
        reason_ = QStringLiteral("Qt's SQLite driver is missing (libqt6sql6-sqlite)");
        return false;
    }
    QString options = QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyTimeoutMs_);
    QString name = fileIn(folder_);
    if (access != Access::ReadWrite)
        options += QStringLiteral(";QSQLITE_OPEN_READONLY");
    if (access == Access::Immutable) {
        // A WAL history in a folder the reader may not write cannot be read the usual way, which
        // needs its shared-memory file: read as a file nobody changes, which it is for this user.
        options += QStringLiteral(";QSQLITE_OPEN_URI");
        const QByteArray path = QUrl::toPercentEncoding(name, "/:");
        name = QStringLiteral("file:%1%2?immutable=1")
                   .arg(name.startsWith(QLatin1Char('/')) ? QString() : QStringLiteral("/"),
                        QString::fromLatin1(path));
    }
    database.setDatabaseName(name);
    database.setConnectOptions(options);
    access_ = access;
    if (!database.open()) {
        reason_ = sqliteFailureReason(database, database.lastError());
        busy_ = isSqliteBusy(database.lastError());
        return false;
    }
    return true;
}

void HistoryStore::disconnect() {
    if (QSqlDatabase::contains(connection_))
        database().close();
}

bool HistoryStore::openForReading() {
    const bool folderWritable = QFileInfo(folder_).isWritable();
    for (const Access access : {Access::ReadOnly, Access::Immutable}) {
        if (access == Access::Immutable && folderWritable)
            break;
        reason_.clear();
        if (!connect(access))
            return false;
        QSqlDatabase database = this->database();
        const int version = historyVersionOf(database, &reason_, &busy_);
        if (version == knownHistoryVersion())
            return true;
        if (version < 0) {
            QSqlQuery probe(database);
            noDatabase_ = !probe.exec(QStringLiteral("PRAGMA user_version")) &&
                          probe.lastError().nativeErrorCode() == QLatin1String("26");  // NOTADB
        }
        disconnect();
        if (version >= 0) {
            reason_ = historyVersionProblem(version);  // none for an older one, to bring up to date
            return false;
        }
    }
    return false;
}

bool HistoryStore::open(bool forWriting) {
    if (isOpen())
        return true;
    reason_.clear();
    busy_ = false;
    importWarning_.clear();
    const QString file = fileIn(folder_);
    const bool found = QFileInfo::exists(file);
    if (found) {
        // Read-only first: a history this program does not know is not touched at all, not even
        // by the checkpoint a writer makes as it closes.
        if (openForReading()) {
            if (!forWriting) {
                settleAbandoned();
                return true;
            }
            disconnect();
        } else if (!reason_.isEmpty() && !(forWriting && noDatabase_ && moveAside(file))) {
            return false;
        }
    } else if (!forWriting && !QFile::exists(folder_ + QStringLiteral("/history.csv"))) {
        return false;
    }
    // Written from here: a history to make, to bring up to date or to import, or one to write.
    if (!QDir().mkpath(folder_)) {
        reason_ = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    reason_ = unwritableReason(file);
    if (!reason_.isEmpty())
        return false;
    if (!connect(Access::ReadWrite))
        return false;
    QSqlDatabase database = this->database();
    // WAL stays set in the file; NORMAL puts a commit on the disk at the next checkpoint, which
    // a killed process cannot lose, and a power cut only with the last commits.
    if (!run(QStringLiteral("PRAGMA journal_mode = WAL")) ||
        !run(QStringLiteral("PRAGMA synchronous = NORMAL")) ||
        !upgradeHistory(database, folder_, station_, &reason_, &importWarning_, &busy_)) {
        disconnect();
        return false;
    }
    settleAbandoned();
    if (!aside_.isEmpty()) {
        importWarning_ = QStringLiteral(
                             "%1 was no database (%2); it is kept as %3 for whoever looks into "
                             "it, and a new history is started. Its rows are not in the new one.")
                             .arg(file, asideWhy_, aside_) +
                         (importWarning_.isEmpty() ? QString() : QLatin1Char(' ') + importWarning_);
    }
    return true;
}

// The damaged file, with its journal, goes aside under a name of its own: nothing of it is
// deleted, and the run's row goes into a new history instead of nowhere.
bool HistoryStore::moveAside(const QString& file) {
    const QString aside = file + QDateTime::currentDateTime().toString(
                                     QStringLiteral("'.damaged-'yyyy-MM-ddTHH-mm-ss"));
    if (!QFile::rename(file, aside))
        return !QFileInfo::exists(file);  // another process moved it first
    QFile::rename(file + QStringLiteral("-wal"), aside + QStringLiteral("-wal"));
    QFile::remove(file + QStringLiteral("-shm"));
    aside_ = aside;
    asideWhy_ = reason_;
    noDatabase_ = false;
    return true;
}

bool HistoryStore::exec(QSqlQuery& query) {
    busy_ = false;
    if (query.exec())
        return true;
    reason_ = sqliteFailureReason(database(), query.lastError());
    busy_ = isSqliteBusy(query.lastError());
    return false;
}

bool HistoryStore::run(const QString& statement) {
    QSqlQuery query(database());
    if (query.prepare(statement))
        return exec(query);
    reason_ = sqliteFailureReason(database(), query.lastError());
    busy_ = isSqliteBusy(query.lastError());
    return false;
}

std::optional<qint64> HistoryStore::add(const HistoryRow& row, const ProcessIdentity& owner) {
    QSqlQuery query(database());
    query.prepare(QStringLiteral(
        "INSERT INTO history (kind, started, started_ms, port, device, outcome, log, host, "
        "boot_id, pid, pid_started, station, exchange_id) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    const QDateTime started = QDateTime::fromString(row.started, Qt::ISODate);
    const QString exchangeId = row.exchangeId.isEmpty()
                                   ? QUuid::createUuid().toString(QUuid::WithoutBraces)
                                   : row.exchangeId;
    for (const QVariant& value :
         {sqlText(row.kind), sqlText(row.started),
          QVariant(started.isValid() ? started.toMSecsSinceEpoch() : 0), sqlText(row.port),
          sqlText(row.device), sqlText(row.outcome), sqlText(row.log), sqlText(owner.host),
          sqlText(owner.boot), QVariant(owner.pid), sqlText(owner.started),
          sqlText(row.station.isEmpty() ? station_ : row.station), QVariant(exchangeId)})
        query.addBindValue(value);
    if (!exec(query))
        return std::nullopt;
    return query.lastInsertId().toLongLong();
}

// Every column of the table but those the row was made with; one revision more, for the outbox.
bool HistoryStore::update(const HistoryRow& row) {
    QStringList assignments{QStringLiteral("revision = revision + 1")};
    QVariantList values;
    for (const HistoryColumn& column : historyColumns()) {
        const QLatin1String name(column.name);
        if (name == QLatin1String("started") || name == QLatin1String("kind") ||
            name == QLatin1String("station") || name == QLatin1String("exchange_id"))
            continue;
        assignments << name + QStringLiteral(" = ?");
        const QVariant value = column.value(row);
        // Text columns are NOT NULL: an unknown text is empty, never a null string.
        const bool number = column.kind == ColumnKind::Count || column.kind == ColumnKind::Seconds;
        values << (number ? value : sqlText(value.toString()));
    }
    QSqlQuery query(database());
    query.prepare(QStringLiteral("UPDATE history SET %1 WHERE id = ?")
                      .arg(assignments.join(QStringLiteral(", "))));
    for (const QVariant& value : values)
        query.addBindValue(value);
    query.addBindValue(row.id);
    return exec(query);
}

bool HistoryStore::newestRelease(const QString& keyId, std::optional<qint64>* newest) {
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT max(release_used) FROM history WHERE signing_key = ?"));
    query.addBindValue(keyId);
    if (!exec(query) || !query.next())
        return false;
    *newest = query.value(0).isNull() ? std::nullopt : std::optional(query.value(0).toLongLong());
    return true;
}

bool HistoryStore::settleAbandoned() {
    QSqlQuery running(database());
    running.prepare(
        QStringLiteral("SELECT id, host, boot_id, pid, pid_started FROM history "
                       "WHERE outcome = 'running'"));
    if (!exec(running))
        return false;
    std::vector<qint64> gone;
    while (running.next()) {
        const ProcessIdentity owner{running.value(1).toString(), running.value(2).toString(),
                                    running.value(3).toLongLong(), running.value(4).toString()};
        if (livenessOf(owner) == Liveness::Gone)
            gone.push_back(running.value(0).toLongLong());
    }
    running.finish();
    if (gone.empty())
        return true;
    const QString statement = QStringLiteral(
        "UPDATE history SET outcome = 'unfinished', revision = revision + 1 WHERE id = ? AND "
        "outcome = 'running'");
    if (access_ == Access::ReadWrite) {
        QSqlQuery settle(database());
        settle.prepare(statement);
        return eachInOneTransaction(settle, gone);
    }
    // A reader settles them through a connection of its own that may write; a history the user
    // may not write keeps reading "running" until a writer comes.
    HistoryStore writer(folder_);
    if (!writer.connect(Access::ReadWrite))
        return false;
    QSqlQuery settle(writer.database());
    settle.prepare(statement);
    return writer.eachInOneTransaction(settle, gone);
}

std::optional<std::vector<HistoryRow>> HistoryStore::rows(const HistoryFilter& filter) {
    QSqlDatabase database = this->database();
    busy_ = false;
    return readHistoryRows(database, filter, &reason_);
}

std::optional<std::vector<OutboxRow>> HistoryStore::outbox(int limit, bool withHeld) {
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.prepare(
        QStringLiteral("SELECT id, %1, started_ms, revision, host, boot_id, pid, "
                       "pid_started FROM history WHERE revision > forwarded%2 "
                       "ORDER BY id LIMIT ?")
            .arg(columnList(), withHeld ? QString() : QStringLiteral(" AND held <> revision")));
    query.addBindValue(limit);
    if (!exec(query))
        return std::nullopt;
    const QSqlRecord result = query.record();
    const auto read = columnsOf(result);
    const int id = result.indexOf(QStringLiteral("id"));
    const int first = result.indexOf(QStringLiteral("started_ms"));
    std::vector<OutboxRow> rows;
    while (query.next()) {
        rows.push_back(
            {rowFrom(query, read, id), query.value(first).toLongLong(),
             query.value(first + 1).toLongLong(),
             ProcessIdentity{query.value(first + 2).toString(), query.value(first + 3).toString(),
                             query.value(first + 4).toLongLong(),
                             query.value(first + 5).toString()}});
    }
    return rows;
}

bool HistoryStore::markForwarded(const std::vector<std::pair<qint64, qint64>>& revisions) {
    if (revisions.empty())
        return true;
    if (!run(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    QSqlQuery mark(database());
    mark.prepare(QStringLiteral("UPDATE history SET forwarded = ? WHERE id = ? AND forwarded < ?"));
    bool done = true;
    for (auto each = revisions.begin(); done && each != revisions.end(); ++each) {
        mark.addBindValue(each->second);
        mark.addBindValue(each->first);
        mark.addBindValue(each->second);
        done = exec(mark);
    }
    if (done && run(QStringLiteral("COMMIT")))
        return true;
    QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));
    return false;
}

bool HistoryStore::markHeld(qint64 id, qint64 revision, const QString& why, bool* marked) {
    QSqlQuery mark(database());
    mark.prepare(
        QStringLiteral("UPDATE history SET held = ?, held_why = ? WHERE id = ? AND "
                       "revision = ?"));
    for (const QVariant& value :
         {QVariant(revision), sqlText(why), QVariant(id), QVariant(revision)})
        mark.addBindValue(value);
    if (!exec(mark))
        return false;
    *marked = mark.numRowsAffected() == 1;
    return true;
}

std::optional<QStringList> HistoryStore::pendingNames() {
    QSqlQuery query(database());
    query.prepare(
        QStringLiteral("SELECT exchange_id, started, port FROM history WHERE revision > "
                       "forwarded ORDER BY id"));
    if (!exec(query))
        return std::nullopt;
    QStringList names;
    while (query.next()) {
        names << QStringLiteral("%1 %2 %3")
                     .arg(query.value(0).toString(), query.value(1).toString(),
                          query.value(2).toString());
    }
    return names;
}

std::optional<bool> HistoryStore::holds(const QString& exchangeId) {
    QSqlQuery query(database());
    query.prepare(QStringLiteral("SELECT 1 FROM history WHERE exchange_id = ?"));
    query.addBindValue(exchangeId);
    if (!exec(query))
        return std::nullopt;
    return query.next();
}

std::optional<std::vector<std::pair<QString, QString>>> HistoryStore::heldRows() {
    QSqlQuery query(database());
    query.prepare(
        QStringLiteral("SELECT exchange_id, held_why FROM history WHERE revision > "
                       "forwarded AND held = revision ORDER BY started_ms DESC, id DESC"));
    if (!exec(query))
        return std::nullopt;
    std::vector<std::pair<QString, QString>> held;
    while (query.next())
        held.emplace_back(query.value(0).toString(), query.value(1).toString());
    return held;
}

QString HistoryStore::newestLog() {
    QSqlQuery query(database());
    query.prepare(
        QStringLiteral("SELECT log FROM history WHERE log != '' AND log_kept = 1 "
                       "ORDER BY MIN(started_ms, ?) DESC, id DESC LIMIT 1"));
    query.addBindValue(QDateTime::currentMSecsSinceEpoch());
    return exec(query) && query.next() ? query.value(0).toString() : QString();
}

std::vector<SpareLog> HistoryStore::spareLogs(int kept) {
    QSqlQuery query(database());
    query.prepare(QStringLiteral(
        "SELECT id, log FROM history WHERE log_kept = 1 AND log != '' AND outcome != 'running'"
        " AND id NOT IN (SELECT id FROM history WHERE log != '' ORDER BY id DESC LIMIT ?)"
        " AND id NOT IN (SELECT id FROM history WHERE log != ''"
        "  ORDER BY MIN(started_ms, ?) DESC, id DESC LIMIT ?)"));
    query.addBindValue(kept);
    query.addBindValue(QDateTime::currentMSecsSinceEpoch());
    query.addBindValue(kept);
    std::vector<SpareLog> spare;
    if (!exec(query))
        return spare;
    while (query.next())
        spare.push_back({query.value(0).toLongLong(), query.value(1).toString()});
    return spare;
}

bool HistoryStore::forgetLogs(const std::vector<qint64>& ids) {
    QSqlQuery forget(database());
    forget.prepare(QStringLiteral("UPDATE history SET log_kept = 0 WHERE id = ?"));
    return eachInOneTransaction(forget, ids);
}

bool HistoryStore::eachInOneTransaction(QSqlQuery& statement, const std::vector<qint64>& ids) {
    if (ids.empty())
        return true;
    if (!run(QStringLiteral("BEGIN IMMEDIATE")))
        return false;
    bool done = true;
    for (auto id = ids.begin(); done && id != ids.end(); ++id) {
        statement.addBindValue(*id);
        done = exec(statement);
    }
    if (done && run(QStringLiteral("COMMIT")))
        return true;
    QSqlQuery(database()).exec(QStringLiteral("ROLLBACK"));  // the first failure's reason stays
    return false;
}

}  // namespace tarvel
