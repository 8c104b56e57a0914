#include "record/HistoryForwarder.h"

#include "record/HistoryStore.h"
#include "record/LineHistory.h"

#include <QElapsedTimer>

#include <algorithm>

namespace tarvel {

// What the forwarder's worker owns: its connections to this station's file and to the server.
class HistoryForwarder::Forwarding : public BackgroundTask {
  public:
    Forwarding(const QString& folder, const QString& uri, const QString& station,
               std::shared_ptr<State> state)
        : local_(folder, BackgroundWorker::kBusyWaitMs), line_(uri), state_(std::move(state)) {
        local_.setStation(station);
        clock_.start();
    }

    void poke() { poked_ = true; }

    qint64 work(bool ending) override {
        // At the end one last pass, and only to a server that answered the last time: the rest
        // waits for a later run.
        if (ending) {
            if (!endSeen_ && state_->answered)
                pass();
            endSeen_ = true;
            return kWhenHanded;
        }
        if (!poked_ && clock_.elapsed() < nextTry_)
            return nextTry_ - clock_.elapsed();
        poked_ = false;
        const qint64 wait = pass();
        nextTry_ = wait > 0 ? clock_.elapsed() + wait : kNever;
        return wait > 0 ? wait : kWhenHanded;
    }
    bool pending() const override { return false; }
    QString undone() const override { return QString(); }

  private:
    static constexpr qint64 kNever = std::numeric_limits<qint64>::max();

    // Forwards the outbox; the milliseconds until the next try (0: nothing waits).
    qint64 pass() {
        if (!local_.open())
            return localFailed();
        for (;;) {
            const auto rows = local_.outbox(kBatch);
            if (!rows)
                return localFailed();
            state_->waiting = int(rows->size());
            if (rows->empty())
                return 0;
            if (!line_.open() || !line_.isReady() || !line_.forward(*rows)) {
                state_->answered = false;
                if (!state_->warned.exchange(true)) {
                    warn(QStringLiteral(
                             "The line's history %1 cannot be written (%2); this station's rows "
                             "wait in its own history and go when it can be written.")
                             .arg(line_.uri(), line_.reason()));
                }
                line_.close();
                return BackgroundWorker::retryAfterMs(failures_++);
            }
            state_->answered = true;
            failures_ = 0;
            std::vector<std::pair<qint64, qint64>> revisions;
            for (const OutboxRow& row : *rows)
                revisions.emplace_back(row.row.id, row.revision);
            if (!local_.markForwarded(revisions))
                return localFailed();
        }
    }

    qint64 localFailed() {
        return local_.busy() ? BackgroundWorker::kBusyRetryMs
                             : BackgroundWorker::retryAfterMs(failures_++);
    }

    HistoryStore local_;
    LineHistory line_;
    std::shared_ptr<State> state_;
    QElapsedTimer clock_;
    qint64 nextTry_ = 0;
    int failures_ = 0;
    bool poked_ = true;  // the outbox may hold rows of an earlier run
    bool endSeen_ = false;
};

HistoryForwarder::HistoryForwarder(QString folder, QString uri, QString station)
    : uri_(shownLineUri(uri)), state_(std::make_shared<State>()) {
    preloadSqlDriver(QStringLiteral("QSQLITE"));
    preloadSqlDriver(QStringLiteral("QPSQL"));
    worker_ = std::make_unique<Worker<Forwarding>>(
        [folder = std::move(folder), uri = std::move(uri), station = std::move(station),
         state = state_] { return std::make_unique<Forwarding>(folder, uri, station, state); });
    worker_->onWarning = [this](const QString& warning) {
        if (onWarning)
            onWarning(warning);
    };
}

HistoryForwarder::~HistoryForwarder() {
    finish();
}

void HistoryForwarder::poke() {
    worker_->post([](Forwarding& forwarding) { forwarding.poke(); });
}

QString HistoryForwarder::finish() {
    if (finished_)
        return QString();
    finished_ = true;
    // A server that did not answer last time gets no wait beyond what an idle worker needs to
    // see the end.
    constexpr int kNoWaitMs = 150;
    const BackgroundWorker::End end =
        worker_->finish(QDeadlineTimer(state_->answered ? kLastPassMs : kNoWaitMs));
    for (const QString& warning : end.untold) {
        if (onWarning)
            onWarning(warning);
    }
    if (state_->waiting == 0 || state_->warned)
        return QString();
    return QStringLiteral(
               "%1 row(s) have not reached the line's history %2 yet; they wait in this "
               "station's own history and go with a later run.")
        .arg(state_->waiting.load())
        .arg(uri_);
}

}  // namespace tarvel
