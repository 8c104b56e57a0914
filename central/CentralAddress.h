#pragma once

#include <QString>

#include <optional>
#include <utility>

namespace tarvel {

// [History] Database= taken apart by libpq's own parser (PQconninfoParse), for Qt's QPSQL driver,
// which hands libpq each part: a URI
// postgresql://[user@][host][:port][/database][?option=value&...] (postgres:// as well) or libpq's
// key=value form. A host that starts with "/" (written %2F) is the folder of the server's Unix
// socket. The other options (sslmode, sslrootcert, connect_timeout, service, ...) go to libpq as
// they are. No password of any kind: libpq takes it from ~/.pgpass, PGPASSFILE or a service file,
// so that it is never in the settings, on a command line or in a message.
struct CentralAddress {
    QString host;
    int port = -1;  // libpq's own default
    QString database;
    QString user;
    QString options;  // "key=value;key=value", as QSqlDatabase::setConnectOptions takes them
};

// How long a connection attempt may take unless the setting says otherwise.
constexpr int kCentralConnectTimeoutS = 5;
// libpq's options that bound the waits on the network, unless the setting gives them: the
// connection attempt (s); an idle connection probed after 10 s, every 5 s, given up after 3
// probes unanswered; data unacknowledged for 20 s (ms) ends the connection.
constexpr std::pair<const char*, int> kCentralNetworkBounds[] = {
    {"connect_timeout", kCentralConnectTimeoutS},
    {"keepalives", 1},
    {"keepalives_idle", 10},
    {"keepalives_interval", 5},
    {"keepalives_count", 3},
    {"tcp_user_timeout", 20000}};

// The setting as a message may show it: a URI made from libpq's reading of it, without any
// secret; a fixed text when libpq cannot read it, since what it holds cannot be told apart.
QString shownCentralUri(const QString& setting);
// The parts; none with the reason when the setting is not one this program can use (libpq cannot
// read it, it holds a password, it names more than one server, an option cannot be passed on).
std::optional<CentralAddress> parseCentralUri(const QString& setting, QString* reason);

}  // namespace tarvel
