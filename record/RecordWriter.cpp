#include "record/RecordWriter.h"

#include "record/HistoryStore.h"
#include "record/LogFile.h"
#include "record/LogFolder.h"

#include <QElapsedTimer>
#include <QMetaObject>

#include <algorithm>
#include <chrono>
#include <deque>
#include <future>
#include <limits>
#include <utility>

namespace tarvel {

namespace {
// The logs kept in <folder>/logs; older ones go once their exchanges have ended.
constexpr int kKeptLogs = 100;
constexpr qint64 kNever = std::numeric_limits<qint64>::max();
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

// What the writer's worker owns: the exchanges not yet fully written, and its own connection
// to the history.
class RecordWriter::Writing : public BackgroundTask {
  public:
    QString folder;
    QString station;
    std::unique_ptr<HistoryStore> history;
    std::deque<std::unique_ptr<Exchange>> exchanges;
    QElapsedTimer clock;
    bool importTold = false;
    std::function<void()> changed;  // run on the owner's thread

    Writing(QString folder, QString station)
        : folder(std::move(folder)), station(std::move(station)) {
        clock.start();
    }

    qint64 work(bool) override {
        sync();
        const qint64 next = nextDue();
        return next == kNever ? kWhenHanded : std::max<qint64>(1, next - clock.elapsed());
    }
    bool pending() const override {
        return std::any_of(exchanges.begin(), exchanges.end(), [](const auto& exchange) {
            return exchange->dirty && exchange->failures == 0;
        });
    }
    QString undone() const override { return missing(); }

    ~Writing() override {
        for (const auto& exchange : exchanges) {
            if (exchange->log)
                exchange->log->close();
        }
    }

    Exchange* current() { return exchanges.empty() ? nullptr : exchanges.back().get(); }

    void warn(Exchange& exchange, const QString& what, const QString& reason) {
        if (exchange.warned)
            return;
        exchange.warned = true;
        BackgroundTask::warn(recordWarning(what, reason));
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

    // The history, open for writing; false with its reason when it cannot be.
    bool opened() {
        if (!history) {
            history = std::make_unique<HistoryStore>(folder, BackgroundWorker::kBusyWaitMs);
            if (!station.isEmpty())
                history->setStation(station);
        }
        return history->open();
    }

    // A history that another process holds is asked again until the deadline.
    ReleaseMemory::Newest newestRelease(const QString& keyId, QDeadlineTimer deadline) {
        ReleaseMemory::Newest newest;
        while (true) {
            if (opened() && history->newestRelease(keyId, &newest.timestamp))
                return newest;
            if (!history->busy() || deadline.remainingTime() < BackgroundWorker::kBusyRetryMs)
                break;
            std::this_thread::sleep_for(std::chrono::milliseconds(BackgroundWorker::kBusyRetryMs));
        }
        newest.problem = HistoryStore::fileIn(folder) + QStringLiteral(": ") + history->reason();
        return newest;
    }

    void writeRow(Exchange& exchange) {
        HistoryRow row = exchange.row;
        if (!exchange.ended)
            row.seconds += exchange.sinceRow.elapsed() / 1000.0;
        // A log that holds nothing is gone; the row names none then.
        row.log = exchange.log ? exchange.log->path() : QString();
        if (!opened()) {
            failed(exchange);
            return;
        }
        // What the first open made of an old history.csv, once.
        if (!history->importWarning().isEmpty() && !importTold) {
            importTold = true;
            BackgroundTask::warn(history->importWarning());
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
        tell(changed);
    }

    void failed(Exchange& exchange) {
        const qint64 now = clock.elapsed();
        exchange.lastReason = history->reason();
        if (history->busy()) {
            exchange.retryAt = now + BackgroundWorker::kBusyRetryMs;
            return;
        }
        warn(exchange, HistoryStore::fileIn(folder), history->reason());
        exchange.retryAt = now + BackgroundWorker::retryAfterMs(exchange.failures++);
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

RecordWriter::RecordWriter(QString folder, QString station) : folder_(folder) {
    preloadSqlDriver(QStringLiteral("QSQLITE"));
    auto changed = [this] {
        if (onHistoryChanged)
            onHistoryChanged();
    };
    worker_ = std::make_unique<Worker<Writing>>(
        [folder = std::move(folder), station = std::move(station), changed] {
            auto writing = std::make_unique<Writing>(folder, station);
            writing->changed = changed;
            return writing;
        });
    worker_->onWarning = [this](const QString& warning) {
        if (onWarning)
            onWarning(warning);
    };
}

RecordWriter::~RecordWriter() {
    finish(kExitWaitMs);
}

void RecordWriter::warnLater(const QString& warning) {
    untold_ << warning;
    QMetaObject::invokeMethod(
        &relay_,
        [this, warning] {
            if (!untold_.removeOne(warning))
                return;  // finish() has told it already
            if (onWarning)
                onWarning(warning);
        },
        Qt::QueuedConnection);
}

void RecordWriter::begin(std::unique_ptr<LogFile> log, const HistoryRow& row,
                         const ProcessIdentity& owner, bool warned) {
    auto exchange = std::make_shared<Exchange>();
    exchange->log = std::move(log);
    exchange->row = row;
    exchange->owner = owner;
    exchange->warned = warned;
    lastRow_ = row;
    worker_->post([exchange](Writing& writing) {
        writing.exchanges.push_back(std::make_unique<Exchange>(std::move(*exchange)));
        writing.exchanges.back()->sinceRow.start();
    });
}

void RecordWriter::append(const QByteArray& lines) {
    worker_->post([lines](Writing& writing) { writing.writeLog(lines); });
}

void RecordWriter::update(const HistoryRow& row, bool urgent) {
    lastRow_ = row;
    worker_->post([row, urgent](Writing& writing) {
        Exchange* exchange = writing.current();
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
    lastRow_ = row;
    worker_->post([row](Writing& writing) {
        Exchange* exchange = writing.current();
        if (!exchange || exchange->ended)
            return;
        const qint64 id = exchange->row.id;
        exchange->row = row;
        exchange->row.id = id;
        exchange->ended = exchange->dirty = true;
    });
}

ReleaseMemory::Newest RecordWriter::newestRelease(const QString& keyId, int ms) {
    const QString late = QStringLiteral("%1 did not answer within %2 s")
                             .arg(HistoryStore::fileIn(folder_))
                             .arg(ms / 1000.0);
    if (finished_)
        return {std::nullopt, late};
    auto answer = std::make_shared<std::promise<ReleaseMemory::Newest>>();
    std::future<ReleaseMemory::Newest> told = answer->get_future();
    const QDeadlineTimer deadline(ms);
    worker_->post([answer, keyId, deadline](Writing& writing) {
        answer->set_value(writing.newestRelease(keyId, deadline));
    });
    if (told.wait_for(std::chrono::milliseconds(ms)) != std::future_status::ready)
        return {std::nullopt, late};
    return told.get();
}

QString RecordWriter::waitUntilWritten(int ms) {
    return worker_->waitUntilDone(ms);
}

QString RecordWriter::finish(int ms) {
    if (finished_)
        return QString();
    finished_ = true;
    BackgroundWorker::End end = worker_->finish(QDeadlineTimer(std::max(ms, 0)));
    // A worker that the disk still holds has not said what it lacks since the disk stopped.
    if (end.leftBehind && lastRow_) {
        end.undone = QStringLiteral(
                         "The record of the %1 started %2 on %3 is not all written: %4 did "
                         "not answer within %5 s.")
                         .arg(lastRow_->kind, lastRow_->started, lastRow_->port, folder_)
                         .arg(std::max(ms, 0) / 1000);
    }
    // A warning given so late that the event loop will not tell it goes with what is missing.
    QStringList told = std::exchange(untold_, {}) + end.untold;
    if (!end.undone.isEmpty())
        told << end.undone;
    return told.join(QLatin1Char('\n'));
}

}  // namespace tarvel
