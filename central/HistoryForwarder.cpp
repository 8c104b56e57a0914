#include "central/HistoryForwarder.h"

#include "central/CentralHistory.h"
#include "platform/ShownText.h"
#include "record/HistoryStore.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSaveFile>

#include <algorithm>

namespace tarvel {

// What the forwarder's worker owns: its connections to this station's file and to the server.
class HistoryForwarder::Forwarding : public BackgroundTask {
  public:
    Forwarding(const QString& folder, const QString& uri, const QString& station,
               std::shared_ptr<State> state)
        : folder_(folder),
          uri_(uri),
          local_(folder, BackgroundWorker::kBusyWaitMs),
          central_(uri),
          state_(std::move(state)) {
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
        if (!lostRowsTold_) {
            if (!tellLostRows())
                return localFailed();
            lostRowsTold_ = true;
        }
        const qint64 wait = forward();
        writePendingList();
        return wait;
    }

    qint64 forward() {
        for (;;) {
            // Rows the server holds otherwise are looked at again once in each run, then left
            // in the outbox with their reason.
            const auto rows = local_.outbox(kBatch, !heldLookedAt_);
            if (!rows)
                return localFailed();
            state_->waiting = int(rows->size());
            if (rows->empty())
                return 0;
            std::vector<QString> held;
            if (!central_.open() || !central_.isReady() || !central_.forward(*rows, &held)) {
                state_->answered = false;
                if (!state_->warned.exchange(true)) {
                    warn(QStringLiteral(
                             "The line's history %1 cannot be written (%2); this station's rows "
                             "wait in its own history and go when it can be written.")
                             .arg(shownCentralUri(uri_), central_.reason()));
                }
                central_.close();
                return BackgroundWorker::retryAfterMs(failures_++);
            }
            state_->answered = true;
            failures_ = 0;
            heldLookedAt_ = true;
            std::vector<std::pair<qint64, qint64>> revisions;
            for (size_t at = 0; at < rows->size(); ++at) {
                const OutboxRow& row = rows->at(at);
                if (held[at].isEmpty()) {
                    revisions.emplace_back(row.row.id, row.revision);
                    continue;
                }
                bool marked = false;
                if (!local_.markHeld(row.row.id, row.revision, held[at], &marked))
                    return localFailed();
                if (marked)
                    warn(heldWarning(row, held[at]));
            }
            if (!local_.markForwarded(revisions))
                return localFailed();
        }
    }

    // A row that someone else wrote on the server is never taken for forwarded: it is named.
    QString heldWarning(const OutboxRow& row, const QString& why) const {
        return QStringLiteral(
                   "The line's history %1 does not hold this station's row of %2 on %3 (exchange "
                   "%4) as this station wrote it: %5. It stays in this station's outbox; "
                   "tarvel-update history --pending lists it.")
            .arg(shownCentralUri(uri_), shownText(row.row.started), shownText(row.row.port),
                 row.row.exchangeId, why);
    }

    // The outbox's rows are also named in a file beside the history, so that a history deleted
    // or replaced (moved aside as damaged) never loses rows the line's history lacks without a
    // word.
    QString pendingList() const { return folder_ + QStringLiteral("/history.pending"); }

    // The rows the list names that the history no longer holds, named in one warning; false
    // when the history cannot be read now.
    bool tellLostRows() {
        QFile list(pendingList());
        if (!list.open(QIODevice::ReadOnly))
            return true;
        QStringList lost;
        for (const QByteArray& entry : list.readAll().split('\n')) {
            const QString name = QString::fromUtf8(entry).trimmed();
            if (name.isEmpty())
                continue;
            const std::optional<bool> holds = local_.holds(name.section(QLatin1Char(' '), 0, 0));
            if (!holds)
                return false;
            if (!*holds)
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
                    .arg(shownCentralUri(uri_), lost.join(QStringLiteral(", "))));
        }
        return true;
    }

    void writePendingList() {
        const std::optional<QStringList> names = local_.pendingNames();
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

    qint64 localFailed() {
        return local_.busy() ? BackgroundWorker::kBusyRetryMs
                             : BackgroundWorker::retryAfterMs(failures_++);
    }

    QString folder_;
    QString uri_;
    HistoryStore local_;
    CentralHistory central_;
    std::shared_ptr<State> state_;
    QElapsedTimer clock_;
    qint64 nextTry_ = 0;
    int failures_ = 0;
    bool poked_ = true;  // the outbox may hold rows of an earlier run
    bool endSeen_ = false;
    bool heldLookedAt_ = false;
    bool lostRowsTold_ = false;
};

HistoryForwarder::HistoryForwarder(QString folder, QString uri, QString station)
    : uri_(shownCentralUri(uri)), state_(std::make_shared<State>()) {
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

std::unique_ptr<RowForwarding> forwardingTo(const HistoryDestination& line, const QString& folder) {
    if (line.database.isEmpty())
        return nullptr;
    return std::make_unique<HistoryForwarder>(folder, line.database, line.station);
}

}  // namespace tarvel
