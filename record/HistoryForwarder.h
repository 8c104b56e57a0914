#pragma once

#include <QObject>
#include <QString>
#include <QStringList>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

class QThread;

namespace tarvel {

// Forwards the rows of this station's own history to the line's history on a PostgreSQL
// server, from the outbox (the rows whose revision the server lacks), on a thread of its own:
// neither the line's thread nor the record's writer ever waits for the network. Each row is
// sent with its exchange id and revision, so a row sent again after a lost reply arrives once.
// A server that is down, slow or refuses the login costs one warning per run; the rows stay in
// the outbox and go when it is back, in this run or a later one.
class HistoryForwarder {
  public:
    // How many rows go in one transaction; how long after a failure it tries again, at most.
    static constexpr int kBatch = 200;
    static constexpr int kLongestRetryMs = 10000;

    HistoryForwarder(QString folder, QString uri, QString station);
    // finish(0): what is not forwarded stays in the outbox.
    ~HistoryForwarder();
    HistoryForwarder(const HistoryForwarder&) = delete;
    HistoryForwarder& operator=(const HistoryForwarder&) = delete;

    // Rows may wait in the outbox: look now.
    void poke();
    // One last look within ms milliseconds, then stop. Empty when the outbox is empty or its
    // rows were named in this run's warning already; otherwise a sentence on what stays in it.
    // A warning not yet told is told here.
    QString finish(int ms);

    // Told on the thread that made the forwarder.
    std::function<void(const QString& warning)> onWarning;

  private:
    struct Worker;
    void tell(const QString& warning);

    QObject relay_;
    std::shared_ptr<Worker> worker_;
    QThread* thread_ = nullptr;
    bool finished_ = false;
};

}  // namespace tarvel
