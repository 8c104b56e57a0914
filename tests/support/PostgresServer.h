#pragma once

#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tarvel::test {

// A PostgreSQL 15 server of the test's own (Debian's postgresql-15): initdb into a temporary
// folder as an unprivileged user (nobody, when the tests run as root), listening on a Unix
// socket in that folder and on a free TCP port of 127.0.0.1 only, stopped and removed at the
// end. The machine's own clusters are not touched. Its superuser is postgres, trusted on the
// socket; a login over TCP needs a password (scram-sha-256).
class PostgresServer {
  public:
    PostgresServer();
    ~PostgresServer();
    PostgresServer(const PostgresServer&) = delete;
    PostgresServer& operator=(const PostgresServer&) = delete;

    // Made and started; false with why() when it could not be.
    bool start();
    // Stopped (fast: open connections are ended), as a server that goes down.
    bool stop();
    const QString& why() const { return why_; }

    const QString& socketFolder() const { return folder_; }
    int port() const { return port_; }
    // A URI for [History] Database=: by the Unix socket, or by TCP on 127.0.0.1.
    QString socketUri(const QString& user, const QString& database = QStringLiteral("line")) const;
    QString tcpUri(const QString& user, const QString& database = QStringLiteral("line")) const;

    // Runs SQL as the superuser through psql in the given database; its output, unaligned,
    // rows on lines, "|" between columns. False with why() on an error.
    bool sql(const QString& statements, QString* output = nullptr,
             const QString& database = QStringLiteral("line"));
    // One value of a query, as text; empty on an error.
    QString value(const QString& query, const QString& database = QStringLiteral("line"));

  private:
    // Runs a program of the server as its user; its output, false with why() on a failure.
    bool runAsOwner(const QString& program, const QStringList& arguments,
                    QString* output = nullptr);

    QTemporaryDir dir_;
    QString folder_;
    QString data_;
    int port_ = 0;
    bool made_ = false;
    bool running_ = false;
    QString why_;
};

}  // namespace tarvel::test
