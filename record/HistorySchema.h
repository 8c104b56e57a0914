#pragma once

#include <QString>

class QSqlDatabase;

namespace tarvel {

// The version of the history's tables that this program reads and writes: PRAGMA user_version
// in a station's own SQLite file, the table history_version in the line's PostgreSQL database.
// The same steps make both, each in its back end's words.
int knownHistoryVersion();

// The database is the line's history on a PostgreSQL server (Qt's QPSQL driver).
bool isPostgres(const QSqlDatabase& database);

// The database's version; -1 with the reason when it cannot be read (no database at all).
int historyVersionOf(QSqlDatabase& database, QString* reason, bool* busy = nullptr);

// Why this program must not use a database of that version: one a newer program wrote, whose
// tables it does not know ("history.sqlite was written by a newer version (schema 99; this
// program knows 2)"). Empty for this version and older ones.
QString historyVersionProblem(int version, const QString& what = QStringLiteral("history.sqlite"));

// The history database's tables, at the version this program writes. A database of an older
// version is brought up to it step by step, each step in the same transaction as its new version
// number; an older history.csv in the folder is imported by the first step and renamed
// history.csv.imported once the import is committed. Its bad records are left out and named in
// *warning, and a file that is no text or mostly bad records is left as it is, with the reason
// in *warning. Whichever process comes first does it; the others find it done. False with the
// reason when a step failed, which leaves the database as it was, and for a database of a newer
// version, which is left untouched. Rows of an older version are marked as the station's:
// station names it. On a server the same steps run in one transaction too; there is no old file.
// *busy tells a step that failed only because another process held the database, which may
// succeed when tried again.
bool upgradeHistory(QSqlDatabase& database, const QString& folder, const QString& station,
                    QString* reason, QString* warning, bool* busy = nullptr);

}  // namespace tarvel
