#pragma once

#include "central/CentralHistory.h"
#include "record/BackgroundWorker.h"
#include "record/RowForwarding.h"

#include <QString>

#include <atomic>
#include <functional>
#include <memory>

namespace tarvel {

// Forwards the rows of this station's own history to the line's history on a PostgreSQL
// server, from the outbox (the rows whose revision the server lacks), on a worker of its own
// with one connection to the server: neither the line's thread nor the record's writer ever
// waits for the network. Each row is sent with its exchange id and revision, so a row sent
// again after a lost reply arrives once. A server that is down, silent or refuses the login
// costs one warning per run; the rows stay in the outbox and go when it is back, in this run or
// a later one. One process per station forwards: `station` and the window program for all
// their updates, a lone `update` for its own.
class HistoryForwarder : public RowForwarding {
  public:
    // How many rows go in one transaction.
    static constexpr int kBatch = 200;
    // At the end, how long one last pass may wait for a server that has answered in this run.
    static constexpr int kLastPassMs = 1000;

    HistoryForwarder(QString folder, QString uri, QString station);
    // finish().
    ~HistoryForwarder() override;
    HistoryForwarder(const HistoryForwarder&) = delete;
    HistoryForwarder& operator=(const HistoryForwarder&) = delete;

    // Rows may wait in the outbox: look now.
    void poke() override;
    // One last pass, within kLastPassMs, when the server answered the last time it was asked in
    // this run; none otherwise (a silent server would cost the whole wait). Empty when the outbox
    // is empty or its rows were named in this run's warning already; otherwise a sentence on
    // what stays in it. A warning not yet told is told here.
    QString finish() override;

  private:
    class Forwarding;
    struct State {
        // The server answered the last time it was asked in this run; not known at the start.
        std::atomic<bool> answered{false};
        std::atomic<bool> warned{false};  // this run's warning is given
        std::atomic<int> waiting{0};      // rows in the outbox at the last look
    };

    QString uri_;
    std::shared_ptr<State> state_;
    std::unique_ptr<Worker<Forwarding>> worker_;
    bool finished_ = false;
};

// The forwarding to the line's history that line names, from the outbox in folder; none when it
// names no database.
std::unique_ptr<RowForwarding> forwardingTo(const HistoryDestination& line, const QString& folder);

}  // namespace tarvel
