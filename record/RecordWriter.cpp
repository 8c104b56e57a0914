#include "record/RecordWriter.h"

#include "record/HistoryStore.h"
#include "record/LogFile.h"
#include "record/LogFolder.h"

#include <QElapsedTimer>
#include <QMetaObject>
#include <QSqlDatabase>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <limits>
#include <utility>

namespace tarvel {

namespace {
// A write waits this long for another process's transaction, then lets the log lines that came
// meanwhile go first, and tries again a little later.
constexpr int kBusyWaitMs = 100;
constexpr qint64 kBusyRetryMs = 250;
// After a failure of another kind (a full disk, a read-only folder): tried again after one
// second, then less often, up to this.
constexpr qint64 kLongestRetryMs = 5000;
// The logs kept in <folder>/logs; older ones go once their exchanges have ended.
constexpr int kKeptLogs = 100;
constexpr qint64 kNever = std::numeric_limits<qint64>::max();

// Qt makes a database plugin's instance on the thread that first opens a connection of its kind
// and keeps it until the process ends. Made here, it belongs to the thread that outlives the
// writer's: a plugin made on the writer's thread stalls the program's exit under Wine.
void preloadSqliteDriver() {
    const QString name = QStringLiteral("tarvel-preload");
    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
    QSqlDatabase::removeDatabase(name);
}
}  // namespace

QString recordWarning(const QString& what, const QString& reason) {
    return QStringLiteral("The update record cannot be written (") + what + QStringLiteral(": ") +
           reason + QStringLiteral("); updates go on without it.");
}

// One exchange as the writer holds it until its row is complete.
struct RecordWriter::Exchange {
    std::unique_ptr<LogFile> log;
    HistoryRow row;
    ProcessIdentity owner;
    QElapsedTimer sinceRow;  // since row.seconds was right
    bool ended = false;
    bool inserted = false;
    bool dirty = true;
    bool urgent = true;
    bool warned = false;
    qint64 lastWrite = -kNever;
    qint64 retryAt = 0;
    int failures = 0;
    QString lastReason;
};

// What the writer's thread owns: the exchanges not yet fully written, and its own connection
// to the history (a connection serves only the thread that made it).
struct RecordWriter::Worker {
    QString folder;
    QString station;
    std::unique_ptr<HistoryStore> history;
    std::deque<std::unique_ptr<Exchange>> exchanges;
    QElapsedTimer clock;
    QStringList warnings;
    bool historyChanged = false;
    bool importTold = false;

    Worker(QString folder, QString station)
        : folder(std::move(folder)), station(std::move(station)) {
        clock.start();
    }

    Exchange* current() { return exchanges.empty() ? nullptr : exchanges.back().get(); }

    void warn(Exchange& exchange, const QString& what, const QString& reason) {
        if (exchange.warned)
            return;
        exchange.warned = true;
        warnings << recordWarning(what, reason);
    }

    void writeLog(const QByteArray& lines) {
        Exchange* exchange = current();
        if (!exchange || !exchange->log || !exchange->log->isOpen())
            return;
        if (!exchange->log->write(lines))
            warn(*exchange, exchange->log->fileName(), exchange->log->reason());
    }

    bool due(const Exchange& exchange, qint64 now) const {
        if (now < exchange.retryAt)
            return false;
        if (exchange.dirty && (exchange.urgent || exchange.ended || !exchange.inserted))
            return true;
        return !exchange.ended && now - exchange.lastWrite >= kRefreshMs;
    }

    qint64 nextDue() const {
        qint64 next = kNever;
        for (const auto& exchange : exchanges) {
            if (exchange->dirty && (exchange->urgent || exchange->ended || !exchange->inserted))
                next = std::min(next, exchange->retryAt);
            else if (!exchange->ended)
                next =
                    std::min(next, std::max(exchange->retryAt, exchange->lastWrite + kRefreshMs));
        }
        return next;
    }

    void sync() {
        const qint64 now = clock.elapsed();
        for (const auto& exchange : exchanges) {
            if (due(*exchange, now))
                writeRow(*exchange);
        }
        // An exchange whose row is complete and whose log is written is done.
        while (!exchanges.empty() && exchanges.front()->ended && !exchanges.front()->dirty) {
            if (exchanges.front()->log)
                exchanges.front()->log->close();
            exchanges.pop_front();
        }
    }

    void writeRow(Exchange& exchange) {
        if (!history) {
            history = std::make_unique<HistoryStore>(folder, kBusyWaitMs);
            if (!station.isEmpty())
                history->setStation(station);
        }
        HistoryRow row = exchange.row;
        if (!exchange.ended)
            row.seconds += exchange.sinceRow.elapsed() / 1000.0;
        // A log that holds nothing is gone; the row names none then.
        row.log = exchange.log ? exchange.log->path() : QString();
        if (!history->open()) {
            failed(exchange);
            return;
        }
        // What the first open made of an old history.csv, once.
        if (!history->importWarning().isEmpty() && !importTold) {
            importTold = true;
            warnings << history->importWarning();
        }
        if (!exchange.inserted) {
            const std::optional<qint64> id = history->add(row, exchange.owner);
            if (!id) {
                failed(exchange);
                return;
            }
            exchange.inserted = true;
            exchange.row.id = row.id = *id;
            LogFolder(folder + QStringLiteral("/logs")).prune(*history, kKeptLogs);
        }
        if (!history->update(row)) {
            failed(exchange);
            return;
        }
        exchange.dirty = exchange.urgent = false;
        exchange.lastWrite = clock.elapsed();
        exchange.failures = 0;
        historyChanged = true;
    }

    void failed(Exchange& exchange) {
        const qint64 now = clock.elapsed();
        exchange.lastReason = history->reason();
        if (history->busy()) {
            exchange.retryAt = now + kBusyRetryMs;
            return;
        }
        warn(exchange, HistoryStore::fileIn(folder), history->reason());
        exchange.retryAt =
            now + std::min(kLongestRetryMs, qint64(1000) << std::min(exchange.failures++, 3));
    }

    // Rows still to be written that may yet be: not tried, or held back by another process.
    // A row that failed otherwise has been named in its warning.
    bool pending() const {
        return std::any_of(exchanges.begin(), exchanges.end(), [](const auto& exchange) {
            return exchange->dirty && exchange->failures == 0;
        });
    }

    // The rows that wait to be written, as a sentence.
    QString missing() const {
        QStringList rows;
        QString reason;
        for (const auto& exchange : exchanges) {
            if (!exchange->dirty || exchange->failures > 0)
                continue;
            rows << QStringLiteral("the %1 started %2 on %3")
                        .arg(exchange->row.kind, exchange->row.started, exchange->row.port);
            if (!exchange->lastReason.isEmpty())
                reason = exchange->lastReason;
        }
        if (rows.isEmpty())
            return QString();
        QString text = QStringLiteral("The history ") + HistoryStore::fileIn(folder) +
                       QStringLiteral(" lacks ") + rows.join(QStringLiteral(", "));
        if (!reason.isEmpty())
            text += QStringLiteral(" (") + reason + QLatin1Char(')');
        return text + QLatin1Char('.');
    }
};

RecordWriter::RecordWriter(QString folder, QString station)
    : worker_(std::make_unique<Worker>(std::move(folder), std::move(station))) {
    preloadSqliteDriver();
    thread_ = QThread::create([this] {
        bool stopSeen = false;
        for (;;) {
            std::deque<std::function<void(Worker&)>> batch;
            bool abandon = false;
            {
                std::unique_lock<std::mutex> lock(mutex_);
                const auto ready = [&] {
                    return !inbox_.empty() || abandon_ || (stopping_ && !stopSeen);
                };
                const qint64 next = worker_->nextDue();
                if (next == kNever) {
                    wake_.wait(lock, ready);
                } else {
                    const qint64 wait = std::max<qint64>(0, next - worker_->clock.elapsed());
                    wake_.wait_for(lock, std::chrono::milliseconds(wait), ready);
                }
                batch.swap(inbox_);
                stopSeen = stopping_;
                abandon = abandon_;
            }
            for (const auto& job : batch)
                job(*worker_);
            if (!abandon)
                worker_->sync();
            const QStringList warnings = std::exchange(worker_->warnings, {});
            const bool changed = std::exchange(worker_->historyChanged, false);
            bool done = false;
            {
                std::lock_guard<std::mutex> lock(mutex_);
                written_ = inbox_.empty() && !worker_->pending();
                missing_ = worker_->missing();
                done = abandon || (stopSeen && written_);
            }
            idle_.notify_all();
            for (const QString& warning : warnings)
                warnLater(warning);
            if (changed)
                tell([this] {
                    if (onHistoryChanged)
                        onHistoryChanged();
                });
            if (done)
                break;
        }
        for (const auto& exchange : worker_->exchanges) {
            if (exchange->log)
                exchange->log->close();
        }
        worker_->history.reset();
    });
    thread_->start();
}

RecordWriter::~RecordWriter() {
    finish(kExitWaitMs);
    delete thread_;
}

void RecordWriter::tell(std::function<void()> fn) {
    QMetaObject::invokeMethod(&relay_, std::move(fn), Qt::QueuedConnection);
}

void RecordWriter::warnLater(const QString& warning) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        untold_ << warning;
    }
    tell([this, warning] {
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (!untold_.removeOne(warning))
                return;  // finish() has told it already
        }
        if (onWarning)
            onWarning(warning);
    });
}

void RecordWriter::hand(std::function<void(Worker&)> job) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_)
            return;
        inbox_.push_back(std::move(job));
        written_ = false;
    }
    wake_.notify_one();
}

void RecordWriter::begin(std::unique_ptr<LogFile> log, const HistoryRow& row,
                         const ProcessIdentity& owner, bool warned) {
    auto exchange = std::make_shared<Exchange>();
    exchange->log = std::move(log);
    exchange->row = row;
    exchange->owner = owner;
    exchange->warned = warned;
    hand([exchange](Worker& worker) {
        worker.exchanges.push_back(std::make_unique<Exchange>(std::move(*exchange)));
        worker.exchanges.back()->sinceRow.start();
    });
}

void RecordWriter::append(const QByteArray& lines) {
    hand([lines](Worker& worker) { worker.writeLog(lines); });
}

void RecordWriter::update(const HistoryRow& row, bool urgent) {
    hand([row, urgent](Worker& worker) {
        Exchange* exchange = worker.current();
        if (!exchange || exchange->ended)
            return;
        const qint64 id = exchange->row.id;
        exchange->row = row;
        exchange->row.id = id;
        exchange->sinceRow.start();
        exchange->dirty = true;
        exchange->urgent = exchange->urgent || urgent;
    });
}

void RecordWriter::end(const HistoryRow& row) {
    hand([row](Worker& worker) {
        Exchange* exchange = worker.current();
        if (!exchange || exchange->ended)
            return;
        const qint64 id = exchange->row.id;
        exchange->row = row;
        exchange->row.id = id;
        exchange->ended = exchange->dirty = true;
    });
}

QString RecordWriter::waitUntilWritten(int ms) {
    std::unique_lock<std::mutex> lock(mutex_);
    idle_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return written_; });
    return written_ ? QString() : missing_;
}

QString RecordWriter::finish(int ms) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    const QString missing = waitUntilWritten(ms);
    {
        std::lock_guard<std::mutex> lock(mutex_);
        abandon_ = true;
    }
    wake_.notify_one();
    thread_->wait();
    // A warning given so late that the event loop will not tell it goes with what is missing.
    QStringList told;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        told = std::exchange(untold_, {});
    }
    if (!missing.isEmpty())
        told << missing;
    return told.join(QLatin1Char('\n'));
}

}  // namespace tarvel
