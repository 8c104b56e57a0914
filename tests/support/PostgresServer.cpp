#include "tests/support/PostgresServer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QUrl>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace tarvel::test {

namespace {

const QString kBin = QStringLiteral("/usr/lib/postgresql/15/bin/");
// The user the server runs as when the tests run as root: PostgreSQL refuses to run as root.
const char* const kUnprivileged = "nobody";

// A TCP port of 127.0.0.1 that nobody listens on now.
int freePort() {
    const int probe = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (probe >= 0 && bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
        getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0)
        port = ntohs(address.sin_port);
    if (probe >= 0)
        close(probe);
    return port;
}

// PostgreSQL's tools in the C locale's words, and never with a password file of the caller's.
QProcessEnvironment toolEnvironment() {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LC_ALL", "C.UTF-8");
    environment.remove("PGPASSFILE");
    return environment;
}

}  // namespace

PostgresServer::PostgresServer() : folder_(dir_.path()), data_(dir_.path() + "/data") {}

PostgresServer::~PostgresServer() {
    stop();
}

bool PostgresServer::runAsOwner(const QString& program, const QStringList& arguments,
                                QString* output) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.setProcessEnvironment(toolEnvironment());
    process.setWorkingDirectory(folder_);
    if (geteuid() == 0)
        process.start("runuser",
                      QStringList{"-u", kUnprivileged, "--", kBin + program} + arguments);
    else
        process.start(kBin + program, arguments);
    const bool ended = process.waitForFinished(60000);
    const QString said = QString::fromLocal8Bit(process.readAll());
    if (output)
        *output = said;
    if (ended && process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0)
        return true;
    why_ = QStringLiteral("%1 failed: %2")
               .arg(program, process.error() == QProcess::FailedToStart ? process.errorString()
                                                                        : said.trimmed());
    return false;
}

bool PostgresServer::start() {
    if (running_)
        return true;
    if (!dir_.isValid()) {
        why_ = "no temporary folder: " + dir_.errorString();
        return false;
    }
    if (!made_) {
        if (!QFile::exists(kBin + "initdb")) {
            why_ = kBin + "initdb is missing: scripts/install-deps installs postgresql-15";
            return false;
        }
        // The folder is the server user's: its data, its socket and its log.
        if (geteuid() == 0) {
            QProcess chown;
            chown.start("chown", {QStringLiteral("%1:").arg(kUnprivileged), folder_});
            if (!chown.waitForFinished() || chown.exitCode() != 0) {
                why_ = "chown " + folder_ + ": " +
                       QString::fromLocal8Bit(chown.readAllStandardError());
                return false;
            }
        }
        QFile::setPermissions(folder_, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner |
                                           QFile::ExeGroup | QFile::ExeOther);
        if (!runAsOwner("initdb", {"-D", data_, "-U", "postgres", "--no-locale", "-E", "UTF8",
                                   "--auth-local=trust", "--auth-host=scram-sha-256"}))
            return false;
        port_ = freePort();
        made_ = true;
    }
    const QString options =
        QStringLiteral("-k %1 -p %2 -h 127.0.0.1 -c fsync=off").arg(folder_).arg(port_);
    if (!runAsOwner("pg_ctl", {"-D", data_, "-l", folder_ + "/server.log", "-o", options, "-w",
                               "-t", "60", "start"})) {
        QFile log(folder_ + "/server.log");
        if (log.open(QIODevice::ReadOnly))
            why_ += " | " + QString::fromLocal8Bit(log.readAll()).trimmed();
        return false;
    }
    running_ = true;
    // The line's database, once.
    if (value("SELECT 1 FROM pg_database WHERE datname = 'line'", "postgres") != "1")
        return sql("CREATE DATABASE line", nullptr, "postgres");
    return true;
}

bool PostgresServer::stop() {
    if (!running_)
        return true;
    running_ = false;
    return runAsOwner("pg_ctl", {"-D", data_, "-m", "fast", "-w", "stop"});
}

QString PostgresServer::socketUri(const QString& user, const QString& database) const {
    // The folder percent-encoded: no .arg() over it.
    return "postgresql://" + user + "@" + QString::fromLatin1(QUrl::toPercentEncoding(folder_)) +
           ":" + QString::number(port_) + "/" + database;
}

QString PostgresServer::tcpUri(const QString& user, const QString& database) const {
    return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(user).arg(port_).arg(database);
}

bool PostgresServer::sql(const QString& statements, QString* output, const QString& database) {
    QProcess psql;
    psql.setProcessChannelMode(QProcess::SeparateChannels);
    psql.setProcessEnvironment(toolEnvironment());
    psql.start("psql", {"-X", "-q", "-A", "-t", "-v", "ON_ERROR_STOP=1", "-h", folder_, "-p",
                        QString::number(port_), "-U", "postgres", "-d", database, "-f", "-"});
    psql.write(statements.toUtf8());
    psql.closeWriteChannel();
    const bool ended = psql.waitForFinished(60000);
    const QString out = QString::fromLocal8Bit(psql.readAllStandardOutput());
    if (output)
        *output = out;
    if (ended && psql.exitStatus() == QProcess::NormalExit && psql.exitCode() == 0)
        return true;
    why_ = "psql: " + QString::fromLocal8Bit(psql.readAllStandardError()).trimmed();
    return false;
}

QString PostgresServer::value(const QString& query, const QString& database) {
    QString out;
    return sql(query, &out, database) ? out.trimmed() : QString();
}

}  // namespace tarvel::test
