#pragma once

#include <QString>

class QSqlDatabase;

namespace tarvel {

// The history database's tables, at the version this program writes (PRAGMA user_version).
// A database of an older version is brought up to it step by step, each step in the same
// transaction as its new version number; an older history.csv in the folder is imported by the
// first step and renamed history.csv.imported once the import is committed. Whichever process
// comes first does it; the others find it done. False with the reason when a step failed, which
// leaves the database as it was.
bool upgradeHistory(QSqlDatabase& database, const QString& folder, QString* reason);

}  // namespace tarvel
