#pragma once

#include <QString>

class QSqlDatabase;
class QSqlError;

namespace tarvel {

// Why a statement on an SQLite database failed, as the system tells it ("No space left on
// device", "File too large", "Permission denied"), or as SQLite does where the system has no
// part in it. Asked at once after the failure, before anything else runs on the connection.
QString sqliteFailureReason(const QSqlDatabase& database, const QSqlError& error);

// SQLITE_BUSY or SQLITE_LOCKED: another connection holds what the statement needed, and the same
// statement may well succeed a little later.
bool isSqliteBusy(const QSqlError& error);

}  // namespace tarvel
