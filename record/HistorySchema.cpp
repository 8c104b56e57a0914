#include "record/HistorySchema.h"

#include "record/HistoryCsv.h"
#include "record/SqlValue.h"
#include "record/SqliteReason.h"

#include <QDateTime>
#include <QFile>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <iterator>

namespace tarvel {

namespace {

struct Step {
    QSqlDatabase& database;
    const QString& folder;
    bool imported = false;
    QStringList badRecords{};  // of an import
    int records = 0;
    QString notImported{};  // why an old file is left as it is
    bool busy = false;      // the last failure was another process holding the database

    bool run(const QString& statement, QString* reason) {
        QSqlQuery query(database);
        if (query.exec(statement))
            return true;
        *reason = sqliteFailureReason(database, query.lastError());
        busy = isSqliteBusy(query.lastError());
        return false;
    }
};

// Version 1: one row per exchange, with the process that ran it; the columns of the former
// history.csv keep their names. started_ms orders the rows whatever offset their time was
// written with; log_kept is 0 once the log has been pruned.
bool createVersion1(Step& step, QString* reason) {
    const bool made =
        step.run(QStringLiteral("CREATE TABLE history ("
                                " id INTEGER PRIMARY KEY,"
                                " kind TEXT NOT NULL,"
                                " started TEXT NOT NULL,"
                                " started_ms INTEGER NOT NULL,"
                                " finished TEXT NOT NULL DEFAULT '',"
                                " port TEXT NOT NULL DEFAULT '',"
                                " device TEXT NOT NULL DEFAULT '',"
                                " module TEXT NOT NULL DEFAULT '',"
                                " image TEXT NOT NULL DEFAULT '',"
                                " image_size INTEGER,"
                                " image_sha256 TEXT NOT NULL DEFAULT '',"
                                " bytes_sent INTEGER NOT NULL DEFAULT 0,"
                                " duration_s REAL NOT NULL DEFAULT 0,"
                                " outcome TEXT NOT NULL,"
                                " log TEXT NOT NULL DEFAULT '',"
                                " log_kept INTEGER NOT NULL DEFAULT 1,"
                                " host TEXT NOT NULL DEFAULT '',"
                                " boot_id TEXT NOT NULL DEFAULT '',"
                                " pid INTEGER NOT NULL DEFAULT 0,"
                                " pid_started TEXT NOT NULL DEFAULT '')"),
                 reason) &&
        step.run(QStringLiteral("CREATE INDEX history_started ON history (started_ms)"), reason) &&
        step.run(QStringLiteral("CREATE INDEX history_running ON history (outcome) "
                                "WHERE outcome = 'running'"),
                 reason);
    if (!made)
        return false;
    QFile old(step.folder + QStringLiteral("/history.csv"));
    if (!old.exists())
        return true;
    if (!old.open(QIODevice::ReadOnly)) {
        *reason = old.fileName() + QStringLiteral(": ") + old.errorString();
        return false;
    }
    const HistoryCsvImport read = readHistoryCsv(old.readAll());
    step.badRecords = read.bad;
    step.records = read.records;
    if (!read.refusal.isEmpty()) {
        step.notImported = read.refusal;
        return true;
    }
    QSqlQuery insert(step.database);
    insert.prepare(QStringLiteral(
        "INSERT INTO history (kind, started, started_ms, finished, port, device, module, image, "
        "image_size, image_sha256, bytes_sent, duration_s, outcome, log) "
        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"));
    for (const HistoryRow& row : read.rows) {
        const QDateTime started = QDateTime::fromString(row.started, Qt::ISODate);
        for (const QVariant& value :
             {sqlText(row.kind), sqlText(row.started), QVariant(started.toMSecsSinceEpoch()),
              sqlText(row.finished), sqlText(row.port), sqlText(row.device), sqlText(row.module),
              sqlText(row.image), sqlNumber(row.imageSize), sqlText(row.imageSha256),
              QVariant(row.bytesSent), QVariant(row.seconds), sqlText(row.outcome),
              sqlText(row.log)})
            insert.addBindValue(value);
        if (!insert.exec()) {
            *reason = sqliteFailureReason(step.database, insert.lastError());
            return false;
        }
    }
    step.imported = true;
    return true;
}

// Version 2: why each exchange ended; rows of older programs have none.
bool addReasons(Step& step, QString* reason) {
    return step.run(QStringLiteral("ALTER TABLE history ADD COLUMN reason_code TEXT NOT NULL "
                                   "DEFAULT ''"),
                    reason) &&
           step.run(QStringLiteral("ALTER TABLE history ADD COLUMN reason TEXT NOT NULL "
                                   "DEFAULT ''"),
                    reason);
}

using Upgrade = bool (*)(Step&, QString*);
// Step n brings version n to version n + 1.
const Upgrade kUpgrades[] = {createVersion1, addReasons};
constexpr int kVersion = int(std::size(kUpgrades));

// The bad records of an old file, each with its line: the first ten, and how many more.
QString namedRecords(const QStringList& bad) {
    constexpr int kNamed = 10;
    QString text = bad.mid(0, kNamed).join(QStringLiteral("; "));
    if (bad.size() > kNamed)
        text += QStringLiteral("; and %1 more").arg(bad.size() - kNamed);
    return text;
}

// history.csv.imported, or the first of history.csv.imported-2, -3 ... that is free.
QString importedName(const QString& old) {
    QString name = old + QStringLiteral(".imported");
    for (int n = 2; QFile::exists(name); ++n)
        name = old + QStringLiteral(".imported-%1").arg(n);
    return name;
}

}  // namespace

int knownHistoryVersion() {
    return kVersion;
}

int historyVersionOf(QSqlDatabase& database, QString* reason, bool* busy) {
    QSqlQuery query(database);
    if (query.exec(QStringLiteral("PRAGMA user_version")) && query.next())
        return query.value(0).toInt();
    *reason = sqliteFailureReason(database, query.lastError());
    if (busy)
        *busy = isSqliteBusy(query.lastError());
    return -1;
}

QString historyVersionProblem(int version) {
    if (version <= kVersion)
        return QString();
    return QStringLiteral(
               "history.sqlite was written by a newer version (schema %1; this "
               "program knows %2)")
        .arg(version)
        .arg(kVersion);
}

bool upgradeHistory(QSqlDatabase& database, const QString& folder, QString* reason,
                    QString* warning, bool* busy) {
    const int found = historyVersionOf(database, reason, busy);
    if (found == kVersion)
        return true;  // the usual case, without taking the write lock
    if (found < 0)
        return false;
    if (const QString problem = historyVersionProblem(found); !problem.isEmpty()) {
        *reason = problem;
        return false;
    }
    Step step{database, folder};
    const auto failed = [&] {
        if (busy)
            *busy = step.busy;
        return false;
    };
    // Immediate: the write lock is taken (or waited for) before the version is read, so that
    // two processes never both upgrade.
    if (!step.run(QStringLiteral("BEGIN IMMEDIATE"), reason))
        return failed();
    // Another process may have brought it up to date, or further, meanwhile.
    const int version = historyVersionOf(database, reason, &step.busy);
    const QString newer = historyVersionProblem(version);
    if (!newer.isEmpty())
        *reason = newer;
    bool done = version >= 0 && newer.isEmpty();
    for (int next = version; done && next < kVersion; ++next) {
        done = kUpgrades[next](step, reason) &&
               step.run(QStringLiteral("PRAGMA user_version = %1").arg(next + 1), reason);
    }
    if (!done || !step.run(QStringLiteral("COMMIT"), reason)) {
        QSqlQuery(database).exec(QStringLiteral("ROLLBACK"));
        return failed();
    }
    const QString old = folder + QStringLiteral("/history.csv");
    if (!step.notImported.isEmpty()) {
        *warning = QStringLiteral("%1 was not imported: %2").arg(old, step.notImported);
        if (!step.badRecords.isEmpty())
            *warning += QStringLiteral(" (%1)").arg(namedRecords(step.badRecords));
        *warning += QStringLiteral(". It is left as it is.");
    } else if (step.imported) {
        const QString kept = importedName(old);
        QFile::rename(old, kept);
        if (!step.badRecords.isEmpty()) {
            *warning = QStringLiteral(
                           "%1: %2 of its %3 records were not imported (%4). It is "
                           "kept as %5.")
                           .arg(old, QString::number(step.badRecords.size()),
                                QString::number(step.records), namedRecords(step.badRecords), kept);
        }
    }
    return true;
}

}  // namespace tarvel
