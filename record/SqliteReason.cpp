#include "record/SqliteReason.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QVariant>

#include <cerrno>
#include <cstring>

#ifdef TARVEL_SQLITE_ERRNO
#include <sqlite3.h>
#endif

namespace tarvel {

namespace {

constexpr int kSqliteFull =
    13;  // SQLITE_FULL: SQLite's word for ENOSPC, which it keeps no errno of

QString systemText(int code) {
    return QString::fromLocal8Bit(std::strerror(code));
}

// The errno of the system call that failed last on the connection, 0 where unknown. SQLite keeps
// it only on its own handle, which Qt hands out; where Qt brings its own SQLite (Windows) that
// handle is not ours to read.
int systemErrorOf([[maybe_unused]] const QSqlDatabase& database) {
#ifdef TARVEL_SQLITE_ERRNO
    const QVariant handle = database.driver() ? database.driver()->handle() : QVariant();
    if (handle.isValid() && qstrcmp(handle.typeName(), "sqlite3*") == 0) {
        if (sqlite3* connection = *static_cast<sqlite3* const*>(handle.constData()))
            return sqlite3_system_errno(connection);
    }
#endif
    return 0;
}

}  // namespace

bool isSqliteBusy(const QSqlError& error) {
    constexpr int kSqliteBusy = 5;
    constexpr int kSqliteLocked = 6;
    const int code = error.nativeErrorCode().toInt();
    return code == kSqliteBusy || code == kSqliteLocked;
}

QString sqliteFailureReason(const QSqlDatabase& database, const QSqlError& error) {
    if (error.nativeErrorCode().toInt() == kSqliteFull)
        return systemText(ENOSPC);
    if (const int code = systemErrorOf(database))
        return systemText(code);
    return error.databaseText().isEmpty() ? error.text() : error.databaseText();
}

}  // namespace tarvel
