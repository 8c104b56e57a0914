#pragma once

#include <QSqlDatabase>

namespace tarvel {

// A bound on the client's side for what a PostgreSQL connection waits for: a server that has
// stopped answering (stopped, cut off by a firewall that drops instead of refusing) never ends
// the statement it was sent, and its own statement_timeout cannot fire. Past the deadline a
// watchdog thread shuts the connection's socket down, so that the wait ends with an error at
// once; the connection is then of no further use and is opened again when needed.
class QueryDeadline {
  public:
    QueryDeadline(const QSqlDatabase& database, int ms);
    ~QueryDeadline();
    QueryDeadline(const QueryDeadline&) = delete;
    QueryDeadline& operator=(const QueryDeadline&) = delete;

    // The next statement gets the whole bound again.
    void renew();
    // The deadline passed and the connection was shut down.
    bool expired() const;

  private:
    int socket_ = -1;  // none: nothing to bound (no connection, or no libpq)
    int ms_;
    quint64 id_ = 0;
};

}  // namespace tarvel
