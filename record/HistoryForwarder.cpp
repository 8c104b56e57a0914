#include "record/HistoryForwarder.h"

#include "record/HistoryStore.h"
#include "record/LineHistory.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QThread>

#include <algorithm>
#include <chrono>

namespace tarvel {

namespace {
// A local history held by another process's transaction: tried again this soon, quietly.
constexpr int kBusyWaitMs = 100;
constexpr int kBusyRetryMs = 250;
}  // namespace

// What the forwarder's thread owns, and what it shares with the thread that made it under the
// mutex. Shared so that a thread stuck in the network past the exit wait can be left behind
// without touching freed memory.
struct HistoryForwarder::Worker {
    QString folder;
    QString uri;
    QString station;

    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    bool poked = true;  // the outbox may hold rows of an earlier run
    bool stopping = false;
    bool done = false;
    bool warned = false;  // this run's warning is given
    int waiting = 0;      // rows in the outbox at the last look
    QStringList untold;   // warnings not yet told on the thread that made it
    std::function<void(const QString&)> tell;

    void warnOnce(const QString& warning) {
        std::lock_guard<std::mutex> lock(mutex);
        if (warned)
            return;
        warned = true;
        untold << warning;
        if (tell)
            tell(warning);
    }

    // Forwards the outbox; the milliseconds until the next try (0: nothing waits). *left: the
    // rows still waiting.
    int pass(HistoryStore& local, LineHistory& line, int failures) {
        if (!local.open())
            return local.busy() ? kBusyRetryMs : retryAfter(failures);
        for (;;) {
            const auto rows = local.outbox(kBatch);
            if (!rows)
                return local.busy() ? kBusyRetryMs : retryAfter(failures);
            setWaiting(int(rows->size()));
            if (rows->empty())
                return 0;
            if (!line.open() || !line.isReady() || !line.forward(*rows)) {
                warnOnce(QStringLiteral(
                             "The line's history %1 cannot be written (%2); this station's rows "
                             "wait in its own history and go when it can be written.")
                             .arg(line.uri(), line.reason()));
                line.close();
                return retryAfter(failures);
            }
            std::vector<std::pair<qint64, qint64>> revisions;
            for (const OutboxRow& row : *rows)
                revisions.emplace_back(row.row.id, row.revision);
            if (!local.markForwarded(revisions))
                return local.busy() ? kBusyRetryMs : retryAfter(failures);
        }
    }

    static int retryAfter(int failures) {
        return std::min(kLongestRetryMs, 1000 << std::min(failures, 4));
    }

    void setWaiting(int rows) {
        std::lock_guard<std::mutex> lock(mutex);
        waiting = rows;
    }

    void run() {
        HistoryStore local(folder, kBusyWaitMs);
        local.setStation(station);
        LineHistory line(uri);
        int failures = 0;
        int wait = 0;
        for (;;) {
            bool last = false;
            {
                std::unique_lock<std::mutex> lock(mutex);
                const auto ready = [this] { return poked || stopping; };
                if (wait == 0)
                    wake.wait(lock, ready);
                else
                    wake.wait_for(lock, std::chrono::milliseconds(wait), ready);
                poked = false;
                last = stopping;
            }
            wait = pass(local, line, failures);
            failures = wait > kBusyRetryMs ? failures + 1 : 0;
            // At exit one last pass, none after a failure: the rest waits for a later run.
            if (last)
                break;
        }
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
        idle.notify_all();
    }
};

HistoryForwarder::HistoryForwarder(QString folder, QString uri, QString station)
    : worker_(std::make_shared<Worker>()) {
    worker_->folder = std::move(folder);
    worker_->uri = std::move(uri);
    worker_->station = std::move(station);
    worker_->tell = [this](const QString& warning) { tell(warning); };
    // The driver's plug-in made here, on the thread that outlives the forwarder's.
    LineHistory::preloadDriver();
    std::shared_ptr<Worker> worker = worker_;
    thread_ = QThread::create([worker] { worker->run(); });
    thread_->start();
}

HistoryForwarder::~HistoryForwarder() {
    finish(0);
}

void HistoryForwarder::tell(const QString& warning) {
    QMetaObject::invokeMethod(
        &relay_,
        [this, warning] {
            {
                std::lock_guard<std::mutex> lock(worker_->mutex);
                if (!worker_->untold.removeOne(warning))
                    return;  // told by finish() already
            }
            if (onWarning)
                onWarning(warning);
        },
        Qt::QueuedConnection);
}

void HistoryForwarder::poke() {
    {
        std::lock_guard<std::mutex> lock(worker_->mutex);
        worker_->poked = true;
    }
    worker_->wake.notify_one();
}

QString HistoryForwarder::finish(int ms) {
    if (finished_)
        return QString();
    finished_ = true;
    QStringList untold;
    bool warned = false;
    int waiting = 0;
    bool done = false;
    {
        std::unique_lock<std::mutex> lock(worker_->mutex);
        worker_->stopping = true;
        worker_->wake.notify_one();
        done = worker_->idle.wait_for(lock, std::chrono::milliseconds(std::max(ms, 0)),
                                      [this] { return worker_->done; });
        worker_->tell = nullptr;
        untold = std::exchange(worker_->untold, {});
        warned = worker_->warned;
        waiting = worker_->waiting;
    }
    if (done) {
        thread_->wait();
        delete thread_;
    }
    // Else the thread is still in the network, bounded by its time-outs: it is left to end with
    // the process, and owns what it uses.
    thread_ = nullptr;
    for (const QString& warning : untold) {
        if (onWarning)
            onWarning(warning);
    }
    if (waiting == 0 || warned)
        return QString();
    return QStringLiteral(
               "%1 row(s) have not reached the line's history %2 yet; they wait in this "
               "station's own history and go with a later run.")
        .arg(waiting)
        .arg(worker_->uri);
}

}  // namespace tarvel
