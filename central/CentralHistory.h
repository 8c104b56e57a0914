#pragma once

#include "central/CentralAddress.h"
#include "record/HistoryReport.h"
#include "record/HistoryRow.h"
#include "record/HistoryStore.h"

#include <QSqlDatabase>
#include <QString>

#include <optional>
#include <utility>
#include <vector>

namespace tarvel {

class QueryDeadline;
class SettingsStore;

// Where this station's rows go besides its own file, from the settings: [Station] Name= (the
// host's name when not set) and [History] Database=, the line's PostgreSQL history as a
// connection URI in libpq's form; empty: none, the station keeps its own history only.
struct HistoryDestination {
    QString station;
    QString database;

    static HistoryDestination from(const SettingsStore& settings);
};

// The line's history on a PostgreSQL server: its own connection, for the thread that made it.
// Every statement is bounded in time, so that a server that stops answering costs seconds, not
// a hung program.
class CentralHistory {
  public:
    // How long a connection attempt may take, unless the URI says otherwise, and a statement.
    static constexpr int kConnectTimeoutS = kCentralConnectTimeoutS;
    static constexpr int kStatementTimeoutMs = 10000;
    // How long the program waits for any reply of the server, whatever the server's own limit:
    // a server that stopped answering cannot end a statement itself.
    static constexpr int kReplyBoundMs = kStatementTimeoutMs + 5000;

    explicit CentralHistory(QString uri);
    ~CentralHistory();
    CentralHistory(const CentralHistory&) = delete;
    CentralHistory& operator=(const CentralHistory&) = delete;

    // Connects, once; false with reason() when it cannot.
    bool open();
    bool isOpen() const;
    void close();
    const QString& reason() const { return reason_; }
    // As a message shows it (shownCentralUri).
    QString uri() const { return shownCentralUri(uri_); }

    // The server's tables are of this program's version; false with the reason otherwise (not
    // made yet, older, or newer).
    bool isReady();
    // Makes the tables or brings them up to date: for the line's owner, whose role may create
    // them (tarvel-update history --upgrade-line).
    bool upgrade();

    // Each row at its revision, in one transaction: a row the server lacks is inserted, one it
    // has is replaced only while it is still running there and older; so a row sent twice
    // arrives once. Then the server's row is read back: *held gets, for each row, why the server
    // holds it otherwise than it was sent (an ended row someone else wrote, a later revision
    // this station never wrote), empty where it holds it as sent.
    bool forward(const std::vector<OutboxRow>& rows, std::vector<QString>* held);
    std::optional<std::vector<HistoryRow>> rows(const HistoryFilter& filter);
    // The report of the rows the filter selects, counted by the server.
    std::optional<HistoryReport> report(const HistoryFilter& filter,
                                        const std::vector<ReportGroup>& by);
    // A mark that any write to the server's rows changes (their count, newest id and the sum of
    // their revisions), for a reader that reads them again only when it changed; false with
    // reason() when it cannot be read.
    bool changeMark(QString* mark);

  private:
    QSqlDatabase database() const;
    // The deadline passed: the reason says so and the connection, no longer of use, is closed.
    bool unanswered(const QueryDeadline& deadline);

    QString uri_;
    QString connection_;
    QString reason_;
};

}  // namespace tarvel
