#include "record/LineHistory.h"

#include "platform/SettingsStore.h"
#include "record/BackgroundWorker.h"
#include "record/HistoryColumns.h"
#include "record/HistorySchema.h"
#include "record/SqlValue.h"

#include <QRegularExpression>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QUrl>
#include <QVariant>

namespace tarvel {

namespace {

QString decoded(const QString& part) {
    return QUrl::fromPercentEncoding(part.toUtf8());
}

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

}  // namespace

HistoryLine HistoryLine::from(const SettingsStore& settings) {
    HistoryLine line;
    line.station =
        settings.value(QStringLiteral("Station"), QStringLiteral("Name"), QString()).trimmed();
    if (line.station.isEmpty())
        line.station = defaultStationName();
    line.database =
        settings.value(QStringLiteral("History"), QStringLiteral("Database"), QString()).trimmed();
    return line;
}

QString shownLineUri(const QString& uri) {
    QString shown = uri;
    shown.replace(QRegularExpression(QStringLiteral("^([a-z]+://[^:@/?#]*):[^@/?#]*@")),
                  QStringLiteral("\\1:***@"));
    shown.replace(QRegularExpression(QStringLiteral("([?&]password=)[^&#]*")),
                  QStringLiteral("\\1***"));
    return shown;
}

std::optional<LineAddress> parseLineUri(const QString& uri, QString* reason) {
    static const QRegularExpression form(
        QStringLiteral("^postgres(?:ql)?://(?:([^@/?#]*)@)?(\\[[^\\]]*\\]|[^:/?#]*)(?::([0-9]+))?"
                       "(?:/([^?#]*))?(?:\\?([^#]*))?$"));
    const auto match = form.match(uri);
    if (!match.hasMatch()) {
        *reason = QStringLiteral(
                      "[History] Database= takes a PostgreSQL URI such as "
                      "postgresql://station@server:5432/line, not \"%1\"")
                      .arg(shownLineUri(uri));
        return std::nullopt;
    }
    const QString refusal = QStringLiteral(
        "[History] Database= holds a password; give it to libpq in ~/.pgpass, PGPASSFILE or a "
        "service file instead, never in the settings");
    if (match.captured(1).contains(QLatin1Char(':'))) {
        *reason = refusal;
        return std::nullopt;
    }
    LineAddress address;
    address.user = decoded(match.captured(1));
    address.host = decoded(match.captured(2));
    if (address.host.startsWith(QLatin1Char('[')))
        address.host = address.host.mid(1, address.host.size() - 2);
    if (address.host.contains(QLatin1Char(','))) {
        *reason = QStringLiteral("[History] Database= names one server only, not \"%1\"")
                      .arg(address.host);
        return std::nullopt;
    }
    if (!match.captured(3).isEmpty())
        address.port = match.captured(3).toInt();
    address.database = decoded(match.captured(4));
    QStringList options;
    QStringList given;
    static const QRegularExpression key(QStringLiteral("^[a-z_]+$"));
    static const QRegularExpression plain(QStringLiteral("^[^\\s;'\"\\\\]*$"));
    for (const QString& pair : match.captured(5).split(QLatin1Char('&'), Qt::SkipEmptyParts)) {
        const QString name = decoded(pair.section(QLatin1Char('='), 0, 0));
        const QString value = decoded(pair.section(QLatin1Char('='), 1));
        if (name == QLatin1String("password")) {
            *reason = refusal;
            return std::nullopt;
        }
        // Qt joins the options with spaces: a value with a space, quote or ";" would break them.
        if (!key.match(name).hasMatch() || !plain.match(value).hasMatch()) {
            *reason = QStringLiteral(
                          "[History] Database=: the option \"%1\" cannot be passed on (a value "
                          "without spaces, quotes or \";\")")
                          .arg(name);
            return std::nullopt;
        }
        given << name;
        options << name + QLatin1Char('=') + value;
    }
    // Every wait on the server is bounded unless the URI says otherwise: connecting, and a
    // connection whose server falls silent, idle (keepalives) or with data unacknowledged.
    for (const auto& [name, value] : LineHistory::kNetworkBounds) {
        if (!given.contains(QLatin1String(name)))
            options << QLatin1String(name) + QLatin1Char('=') + QString::number(value);
    }
    address.options = options.join(QLatin1Char(';'));
    return address;
}

LineHistory::LineHistory(QString uri)
    : uri_(std::move(uri)), connection_(uniqueConnectionName(QStringLiteral("line"))) {}

LineHistory::~LineHistory() {
    if (QSqlDatabase::contains(connection_)) {
        QSqlDatabase::database(connection_, false).close();
        QSqlDatabase::removeDatabase(connection_);
    }
}

QSqlDatabase LineHistory::database() const {
    return QSqlDatabase::database(connection_, false);
}

bool LineHistory::isOpen() const {
    return QSqlDatabase::contains(connection_) && database().isOpen();
}

void LineHistory::close() {
    if (QSqlDatabase::contains(connection_))
        database().close();
}

bool LineHistory::open() {
    if (isOpen())
        return true;
    const std::optional<LineAddress> address = parseLineUri(uri_, &reason_);
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
    QSqlQuery limit(database);
    if (!limit.exec(QStringLiteral("SET statement_timeout = %1").arg(kStatementTimeoutMs))) {
        reason_ = failureOf(limit.lastError());
        database.close();
        return false;
    }
    reason_.clear();
    return true;
}

bool LineHistory::isReady() {
    QSqlDatabase database = this->database();
    const int version = historyVersionOf(database, &reason_);
    if (version < 0)
        return false;
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

bool LineHistory::upgrade() {
    QSqlDatabase database = this->database();
    QString warning;
    return upgradeHistory(database, QString(), QString(), &reason_, &warning);
}

bool LineHistory::forward(const std::vector<OutboxRow>& rows) {
    const QStringList columns = forwardedColumns();
    QStringList marks, updates;
    for (const QString& column : columns) {
        marks << QStringLiteral("?");
        if (column != QLatin1String("exchange_id"))
            updates << column + QStringLiteral(" = EXCLUDED.") + column;
    }
    QSqlDatabase database = this->database();
    QSqlQuery upsert(database);
    const bool prepared = upsert.prepare(
        QStringLiteral("INSERT INTO history (%1) VALUES (%2) ON CONFLICT (exchange_id) DO UPDATE "
                       "SET %3 WHERE history.outcome = 'running' AND history.revision < "
                       "EXCLUDED.revision")
            .arg(columns.join(QStringLiteral(", ")), marks.join(QStringLiteral(", ")),
                 updates.join(QStringLiteral(", "))));
    if (!prepared || !database.transaction()) {
        reason_ = failureOf(prepared ? database.lastError() : upsert.lastError());
        return false;
    }
    for (const OutboxRow& each : rows) {
        for (const HistoryColumn& column : historyColumns()) {
            const QVariant value = column.value(each.row);
            const bool number =
                column.kind == ColumnKind::Count || column.kind == ColumnKind::Seconds;
            upsert.addBindValue(number ? value : sqlText(value.toString()));
        }
        for (const QVariant& value :
             {QVariant(each.startedMs), QVariant(each.revision), sqlText(each.owner.host),
              sqlText(each.owner.boot), QVariant(each.owner.pid), sqlText(each.owner.started)})
            upsert.addBindValue(value);
        if (!upsert.exec()) {
            reason_ = failureOf(upsert.lastError());
            database.rollback();
            return false;
        }
    }
    if (database.commit())
        return true;
    reason_ = failureOf(database.lastError());
    database.rollback();
    return false;
}

std::optional<std::vector<HistoryRow>> LineHistory::rows(const HistoryFilter& filter) {
    QSqlDatabase database = this->database();
    return readHistoryRows(database, filter, &reason_);
}

bool LineHistory::changeMark(QString* mark) {
    QSqlQuery query(database());
    if (!query.exec(QStringLiteral("SELECT count(*), coalesce(max(id), 0), coalesce(sum(revision), "
                                   "0) FROM history")) ||
        !query.next()) {
        reason_ = failureOf(query.lastError());
        return false;
    }
    *mark =
        QStringLiteral("%1 %2 %3")
            .arg(query.value(0).toString(), query.value(1).toString(), query.value(2).toString());
    return true;
}

}  // namespace tarvel
