#include "central/CentralHistory.h"

#include "central/QueryDeadline.h"
#include "platform/SettingsStore.h"
#include "platform/ShownText.h"
#include "record/BackgroundWorker.h"
#include "record/HistoryColumns.h"
#include "record/HistorySchema.h"
#include "record/SqlValue.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QVariant>

namespace tarvel {

namespace {

// libpq's words for what failed, on one line.
QString failureOf(const QSqlError& error) {
    QString text = error.databaseText().isEmpty() ? error.text() : error.databaseText();
    return text.simplified();
}

// The columns the server's row is written with: those of every view, and those of the process
// that ran it.
QStringList forwardedColumns() {
    QStringList names;
    for (const HistoryColumn& column : historyColumns())
        names << QLatin1String(column.name);
    names << QStringLiteral("started_ms") << QStringLiteral("revision") << QStringLiteral("host")
          << QStringLiteral("boot_id") << QStringLiteral("pid") << QStringLiteral("pid_started");
    return names;
}

// Why the server's row differs from the row that was sent (its columns as every view shows
// them, and its revision); empty when it holds it as sent.
QString heldOtherwise(const OutboxRow& sent, const QSqlQuery& found) {
    const qint64 revision = found.value(0).toLongLong();
    if (revision > sent.revision) {
        return QStringLiteral("the line's history holds revision %1 of it, this station wrote %2")
            .arg(revision)
            .arg(sent.revision);
    }
    HistoryRow there;
    int at = 1;
    for (const HistoryColumn& column : historyColumns())
        column.assign(there, found.value(at++));
    QStringList differences;
    for (const HistoryColumn& column : historyColumns()) {
        const QString mine = column.text(sent.row), theirs = column.text(there);
        if (mine != theirs) {
            differences << QStringLiteral("%1 \"%2\" there, \"%3\" here")
                               .arg(QLatin1String(column.name), shownText(theirs), shownText(mine));
        }
    }
    if (differences.isEmpty())
        return revision == sent.revision
                   ? QString()
                   : QStringLiteral(
                         "the line's history kept revision %1 of it, this station "
                         "wrote %2")
                         .arg(revision)
                         .arg(sent.revision);
    return QStringLiteral("the line's history holds it otherwise: %1")
        .arg(differences.join(QStringLiteral(", ")));
}

}  // namespace

HistoryDestination HistoryDestination::from(const SettingsStore& settings) {
    HistoryDestination line;
    line.station =
        settings.value(QStringLiteral("Station"), QStringLiteral("Name"), QString()).trimmed();
    if (line.station.isEmpty())
        line.station = defaultStationName();
    line.database =
        settings.value(QStringLiteral("History"), QStringLiteral("Database"), QString()).trimmed();
    return line;
}

CentralHistory::CentralHistory(QString uri)
    : uri_(std::move(uri)), connection_(uniqueConnectionName(QStringLiteral("line"))) {}

CentralHistory::~CentralHistory() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QSqlDatabase CentralHistory::database() const {
    return QSqlDatabase::database(connection_, false);
}

bool CentralHistory::isOpen() const {
    return QSqlDatabase::contains(connection_) && database().isOpen();
}

void CentralHistory::close() {
    if (QSqlDatabase::contains(connection_))
        database().close();
}

bool CentralHistory::open() {
    if (isOpen())
        return true;
    const std::optional<CentralAddress> address = parseCentralUri(uri_, &reason_);
    if (!address)
        return false;
    QSqlDatabase database = QSqlDatabase::contains(connection_)
                                ? this->database()
                                : QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connection_);
    if (!database.isValid()) {
        reason_ = QStringLiteral("Qt's PostgreSQL driver is missing (libqt6sql6-psql)");
        return false;
    }
    database.setHostName(address->host);
    database.setPort(address->port);
    database.setDatabaseName(address->database);
    database.setUserName(address->user);
    database.setConnectOptions(address->options);
    if (!database.open()) {
        reason_ = failureOf(database.lastError());
        return false;
    }
    const QueryDeadline deadline(database, kReplyBoundMs);
    QSqlQuery limit(database);
    if (!limit.exec(QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs))) {
        reason_ = failureOf(limit.lastError());
        if (!unanswered(deadline))
            database.close();
        return false;
    }
    reason_.clear();
    return true;
}

bool CentralHistory::unanswered(const QueryDeadline& deadline) {
    if (!deadline.expired())
        return false;
    reason_ = QStringLiteral("the server did not answer within %1 s").arg(kReplyBoundMs / 1000);
    close();
    return true;
}

bool CentralHistory::isReady() {
    QSqlDatabase database = this->database();
    const QueryDeadline deadline(database, kReplyBoundMs);
    const int version = historyVersionOf(database, &reason_);
    if (version < 0) {
        unanswered(deadline);
        return false;
    }
    if (version == knownHistoryVersion())
        return true;
    reason_ = version > knownHistoryVersion()
                  ? historyVersionProblem(version, QStringLiteral("the line's history"))
                  : QStringLiteral(
                        "its tables are of schema %1, this program writes %2; the line's owner "
                        "brings them up to date with tarvel-update history --upgrade-line")
                        .arg(version)
                        .arg(knownHistoryVersion());
    return false;
}

bool CentralHistory::upgrade() {
    QSqlDatabase database = this->database();
    QString warning;
    const QueryDeadline deadline(database, kReplyBoundMs);
    if (upgradeHistory(database, QString(), QString(), &reason_, &warning))
        return true;
    unanswered(deadline);
    return false;
}

namespace {

// A row's insert, or its update while the server's copy still runs and is older.
QString upsertStatement() {
    const QStringList columns = forwardedColumns();
    QStringList marks, updates;
    for (const QString& column : columns) {
        marks << QStringLiteral("?");
        if (column != QLatin1String("exchange_id"))
            updates << column + QStringLiteral(" = EXCLUDED.") + column;
    }
    return QStringLiteral(
               "INSERT INTO history (%1) VALUES (%2) ON CONFLICT (exchange_id) DO UPDATE "
               "SET %3 WHERE history.outcome = 'running' AND history.revision < "
               "EXCLUDED.revision")
        .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")),
             updates.join(QStringLiteral(", ")));
}

// What the server holds of one exchange, read back after its upsert.
QString heldStatement() {
    QStringList shown;
    for (const HistoryColumn& column : historyColumns())
        shown << QLatin1String(column.name);
    return QStringLiteral("SELECT revision, %1 FROM history WHERE exchange_id = ?")
        .arg(shown.join(QStringLiteral(", ")));
}

// The upsert's values for one row of the outbox, in forwardedColumns()'s order.
void bindRow(QSqlQuery& upsert, const OutboxRow& each) {
    for (const HistoryColumn& column : historyColumns()) {
        const QVariant value = column.value(each.row);
        const bool number = column.kind == ColumnKind::Count || column.kind == ColumnKind::Seconds;
        upsert.addBindValue(number ? value : sqlText(value.toString()));
    }
    for (const QVariant& value :
         {QVariant(each.startedMs), QVariant(each.revision), sqlText(each.owner.host),
          sqlText(each.owner.boot), QVariant(each.owner.pid), sqlText(each.owner.started)})
        upsert.addBindValue(value);
}

}  // namespace

bool CentralHistory::forward(const std::vector<OutboxRow>& rows, std::vector<QString>* held) {
    QSqlDatabase database = this->database();
    QSqlQuery upsert(database);
    const bool prepared = upsert.prepare(upsertStatement());
    QSqlQuery check(database);
    const bool checkPrepared = check.prepare(heldStatement());
    if (!prepared || !checkPrepared || !database.transaction()) {
        reason_ = failureOf(!prepared        ? upsert.lastError()
                            : !checkPrepared ? check.lastError()
                                             : database.lastError());
        return false;
    }
    held->clear();
    QueryDeadline deadline(database, kReplyBoundMs);
    const auto failed = [&](const QSqlError& error) {
        reason_ = failureOf(error);
        if (!unanswered(deadline))
            database.rollback();
        return false;
    };
    for (const OutboxRow& each : rows) {
        deadline.renew();
        bindRow(upsert, each);
        if (!upsert.exec())
            return failed(upsert.lastError());
        // What the server holds now: the upsert skips a row it may not replace, silently.
        check.addBindValue(sqlText(each.row.exchangeId));
        deadline.renew();
        if (!check.exec())
            return failed(check.lastError());
        held->push_back(check.next() ? heldOtherwise(each, check)
                                     : QStringLiteral("the line's history does not show it"));
        check.finish();
    }
    deadline.renew();
    if (database.commit())
        return true;
    return failed(database.lastError());
}

std::optional<std::vector<HistoryRow>> CentralHistory::rows(const HistoryFilter& filter) {
    QSqlDatabase database = this->database();
    const QueryDeadline deadline(database, kReplyBoundMs);
    auto read = readHistoryRows(database, filter, &reason_);
    if (!read)
        unanswered(deadline);
    return read;
}

std::optional<HistoryReport> CentralHistory::report(const HistoryFilter& filter,
                                                    const std::vector<ReportGroup>& by) {
    QSqlDatabase database = this->database();
    const QueryDeadline deadline(database, kReplyBoundMs);
    auto read = readHistoryReport(database, filter, by, &reason_);
    if (!read)
        unanswered(deadline);
    return read;
}

bool CentralHistory::changeMark(QString* mark) {
    const QueryDeadline deadline(database(), kReplyBoundMs);
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT count(*), coalesce(max(id), 0), coalesce(sum(revision), "
                                   "0) FROM history")) ||
        !query.next()) {
        reason_ = failureOf(query.lastError());
        unanswered(deadline);
        return false;
    }
    *mark =
        QStringLiteral("%1 %2 %3")
            .arg(query.value(0).toString(), query.value(1).toString(), query.value(2).toString());
    return true;
}

}  // namespace tarvel
