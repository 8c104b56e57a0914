#pragma once

#include "record/HistoryRow.h"
#include "record/HistoryStore.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tarvel {

class SettingsStore;

// Where this station's rows go besides its own file, from the settings: [Station] Name= (the
// host's name when not set) and [History] Database=, the line's PostgreSQL history as a
// connection URI in libpq's form; empty: none, the station keeps its own history only.
struct HistoryLine {
    QString station;
    QString database;

    static HistoryLine from(const SettingsStore& settings);
};

// A PostgreSQL connection URI taken apart for Qt's QPSQL driver, which hands libpq each part:
// postgresql://[user@][host][:port][/database][?option=value&...]. A host that starts with "/"
// (written %2F) is the folder of the server's Unix socket. The options (sslmode, sslrootcert,
// connect_timeout, service, ...) go to libpq as they are. No password: libpq takes it from
// ~/.pgpass, PGPASSFILE or a service file, so that it is never in the settings, on a command
// line or in a message.
struct LineAddress {
    QString host;
    int port = -1;  // libpq's own default
    QString database;
    QString user;
    QString options;  // "key=value;key=value", as QSqlDatabase::setConnectOptions takes them
};
// The URI as a message may show it: a password that someone put in it is left out.
QString shownLineUri(const QString& uri);
// The parts; none with the reason when the URI is not one this program can use.
std::optional<LineAddress> parseLineUri(const QString& uri, QString* reason);

// The line's history on a PostgreSQL server: its own connection, for the thread that made it.
// Every statement is bounded in time, so that a server that stops answering costs seconds, not
// a hung program.
class LineHistory {
  public:
    // How long a connection attempt may take, unless the URI says otherwise, and a statement.
    static constexpr int kConnectTimeoutS = 5;
    static constexpr int kStatementTimeoutMs = 10000;
    // libpq's options that bound the waits on the network, unless the URI gives them: the
    // connection attempt (s); an idle connection probed after 10 s, every 5 s, given up after 3
    // probes unanswered; data unacknowledged for 20 s (ms) ends the connection.
    static constexpr std::pair<const char*, int> kNetworkBounds[] = {
        {"connect_timeout", kConnectTimeoutS},
        {"keepalives", 1},
        {"keepalives_idle", 10},
        {"keepalives_interval", 5},
        {"keepalives_count", 3},
        {"tcp_user_timeout", 20000}};

    explicit LineHistory(QString uri);
    ~LineHistory();
    LineHistory(const LineHistory&) = delete;
    LineHistory& operator=(const LineHistory&) = delete;

    // Connects, once; false with reason() when it cannot.
    bool open();
    bool isOpen() const;
    void close();
    const QString& reason() const { return reason_; }
    // As a message shows it (shownLineUri).
    QString uri() const { return shownLineUri(uri_); }

    // The server's tables are of this program's version; false with the reason otherwise (not
    // made yet, older, or newer).
    bool isReady();
    // Makes the tables or brings them up to date: for the line's owner, whose role may create
    // them (tarvel-update history --upgrade-line).
    bool upgrade();

    // Each row at its revision, in one transaction: a row the server lacks is inserted, one it
    // has is replaced only while it is still running there and older; so a row sent twice
    // arrives once.
    bool forward(const std::vector<OutboxRow>& rows);
    std::optional<std::vector<HistoryRow>> rows(const HistoryFilter& filter);
    // A mark that any write to the server's rows changes (their count, newest id and the sum of
    // their revisions), for a reader that reads them again only when it changed; false with
    // reason() when it cannot be read.
    bool changeMark(QString* mark);

  private:
    QSqlDatabase database() const;

    QString uri_;
    QString connection_;
    QString reason_;
};

}  // namespace tarvel
