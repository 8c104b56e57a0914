#include "record/HistoryForwarder.h"

#include "platform/ShownText.h"
#include "record/HistoryStore.h"
#include "record/LineHistory.h"

#include <QElapsedTimer>
#include <QFile>
#include <QMetaObject>
#include <QSaveFile>
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
    // Rows the server holds otherwise are looked at again once in each run, then left in the
    // outbox with their reason.
    bool heldLookedAt = false;
    bool lostRowsTold = false;

    void warnOnce(const QString& warning) {
        std::lock_guard<std::mutex> lock(mutex);
        if (warned)
            return;
        warned = true;
        untold << warning;
        if (tell)
            tell(warning);
    }

    void warn(const QString& warning) {
        std::lock_guard<std::mutex> lock(mutex);
        untold << warning;
        if (tell)
            tell(warning);
    }

    // The outbox's rows are also named in a file beside the history, so that a history deleted or
    // replaced (moved aside as damaged) never loses rows the line's history lacks without a word.
    QString pendingList() const { return folder + QStringLiteral("/history.pending"); }

    // The rows the list names that the history no longer holds, named in one warning; false when
    // the history cannot be read now.
    bool tellLostRows(HistoryStore& local) {
        QFile list(pendingList());
        if (!list.open(QIODevice::ReadOnly))
            return true;
        QStringList lost;
        for (const QByteArray& entry : list.readAll().split('\n')) {
            const QString name = QString::fromUtf8(entry).trimmed();
            if (name.isEmpty())
                continue;
            const std::optional<bool> held = local.holds(name.section(QLatin1Char(' '), 0, 0));
            if (!held)
                return false;
            if (!*held)
                lost << shownText(name.section(QLatin1Char(' '), 1) +
                                  QStringLiteral(" (exchange ") +
                                  name.section(QLatin1Char(' '), 0, 0) + QLatin1Char(')'));
        }
        if (!lost.isEmpty()) {
            warn(
                QStringLiteral("%1 row(s) that had not reached the line's history %2 are no longer "
                               "in this station's history (deleted or replaced) and are lost to "
                               "it: %3.")
                    .arg(lost.size())
                    .arg(shownLineUri(uri), lost.join(QStringLiteral(", "))));
        }
        return true;
    }

    void writePendingList(HistoryStore& local) {
        const std::optional<QStringList> names = local.pendingNames();
        if (!names)
            return;
        if (names->isEmpty()) {
            QFile::remove(pendingList());
            return;
        }
        QSaveFile list(pendingList());
        if (list.open(QIODevice::WriteOnly)) {
            list.write(names->join(QLatin1Char('\n')).toUtf8() + '\n');
            list.commit();
        }
    }

    // Forwards the outbox; the milliseconds until the next try (0: nothing waits).
    int pass(HistoryStore& local, LineHistory& line, int failures) {
        if (!local.open())
            return local.busy() ? kBusyRetryMs : retryAfter(failures);
        if (!lostRowsTold) {
            if (!tellLostRows(local))
                return local.busy() ? kBusyRetryMs : retryAfter(failures);
            lostRowsTold = true;
        }
        const int wait = forward(local, line, failures);
        writePendingList(local);
        return wait;
    }

    int forward(HistoryStore& local, LineHistory& line, int failures) {
        for (;;) {
            const auto rows = local.outbox(kBatch, !heldLookedAt);
            if (!rows)
                return local.busy() ? kBusyRetryMs : retryAfter(failures);
            setWaiting(int(rows->size()));
            if (rows->empty())
                return 0;
            std::vector<QString> held;
            if (!line.open() || !line.isReady() || !line.forward(*rows, &held)) {
                warnOnce(QStringLiteral(
                             "The line's history %1 cannot be written (%2); this station's rows "
                             "wait in its own history and go when it can be written.")
                             .arg(line.uri(), line.reason()));
                line.close();
                return retryAfter(failures);
            }
            heldLookedAt = true;
            std::vector<std::pair<qint64, qint64>> revisions;
            for (size_t at = 0; at < rows->size(); ++at) {
                const OutboxRow& row = rows->at(at);
                if (held[at].isEmpty()) {
                    revisions.emplace_back(row.row.id, row.revision);
                    continue;
                }
                bool marked = false;
                if (!local.markHeld(row.row.id, row.revision, held[at], &marked))
                    return local.busy() ? kBusyRetryMs : retryAfter(failures);
                if (marked)
                    warn(heldWarning(row, held[at]));
            }
            if (!local.markForwarded(revisions))
                return local.busy() ? kBusyRetryMs : retryAfter(failures);
        }
    }

    // A row that someone else wrote on the server is never taken for forwarded: it is named.
    QString heldWarning(const OutboxRow& row, const QString& why) const {
        return QStringLiteral(
                   "The line's history %1 does not hold this station's row of %2 on %3 (exchange "
                   "%4) as this station wrote it: %5. It stays in this station's outbox; "
                   "tarvel-update "
                   "history --pending lists it.")
            .arg(shownLineUri(uri), shownText(row.row.started), shownText(row.row.port),
                 row.row.exchangeId, why);
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
        .arg(shownLineUri(worker_->uri));
}

}  // namespace tarvel
