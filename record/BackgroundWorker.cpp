#include "record/BackgroundWorker.h"

#include <QMetaObject>
#include <QSqlDatabase>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <mutex>

namespace tarvel {

namespace {

// At the deadline's approach the task stops being waited for and is told to stop instead: a
// thread that only waits for its turn (a busy history's next try) sees that within this.
constexpr std::chrono::milliseconds kSettle{150};

// What is left when the task has not said yet (its first job still runs).
const char* const kNotDone = "Not all that was handed over is done yet.";

// The threads left behind, for endProcess() and the tests.
std::mutex leftMutex;
std::condition_variable leftChanged;
int leftCount = 0;

// Waits on wake until done() or the deadline; true when done().
template <class Done>
bool waitUntil(std::condition_variable& wake, std::unique_lock<std::mutex>& lock,
               const QDeadlineTimer& deadline, Done done) {
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        // A forever deadline's remaining time is no duration a wait can take.
        const auto left = deadline.isForever()
                              ? std::chrono::nanoseconds(std::chrono::hours(1))
                              : std::min<std::chrono::nanoseconds>(
                                    deadline.remainingTimeAsDuration(), std::chrono::hours(1));
        wake.wait_for(lock, left);
    }
    return true;
}

}  // namespace

// What the owner and the worker's thread share. The thread holds it as long as it runs, so a
// thread left behind never touches freed memory.
struct WorkerShared {
    std::function<std::unique_ptr<BackgroundTask>()> make;
    std::mutex mutex;
    std::condition_variable wake;
    std::condition_variable idle;
    std::deque<std::function<void(BackgroundTask&)>> inbox;
    bool ending = false;
    std::atomic<bool> abandon{false};
    bool ended = false;
    bool pending = false;
    bool leftBehind = false;
    QString undone;
    QStringList untold;        // warnings handed to the owner's event loop, not told yet
    QObject* relay = nullptr;  // none once the owner has finished it
    std::function<void(const QString&)> told;  // the owner's, run on its thread only

    void run();
};

void BackgroundTask::tell(std::function<void()> fn) {
    WorkerShared* shared = shared_;
    std::lock_guard<std::mutex> lock(shared->mutex);
    if (!shared->relay)
        return;
    // Runs while the owner, which holds shared, still exists; dropped when finish() came first,
    // since the task that fn may refer to is gone by then.
    QMetaObject::invokeMethod(
        shared->relay,
        [shared, fn = std::move(fn)] {
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                if (!shared->relay)
                    return;
            }
            fn();
        },
        Qt::QueuedConnection);
}

void BackgroundTask::warn(const QString& warning) {
    WorkerShared* shared = shared_;
    std::lock_guard<std::mutex> lock(shared->mutex);
    shared->untold << warning;
    if (!shared->relay)
        return;
    // Runs while the owner, which holds shared, still exists: its relay goes with it.
    QMetaObject::invokeMethod(
        shared->relay,
        [shared, warning] {
            {
                std::lock_guard<std::mutex> lock(shared->mutex);
                if (!shared->untold.removeOne(warning))
                    return;  // finish() has told it already
            }
            if (shared->told)
                shared->told(warning);
        },
        Qt::QueuedConnection);
}

void WorkerShared::run() {
    std::unique_ptr<BackgroundTask> task = make();
    task->shared_ = this;
    qint64 wait = 0;
    bool endingSeen = false;
    for (;;) {
        std::deque<std::function<void(BackgroundTask&)>> batch;
        bool last = false;
        {
            std::unique_lock<std::mutex> lock(mutex);
            const auto ready = [&] { return !inbox.empty() || abandon || (ending && !endingSeen); };
            if (wait == BackgroundTask::kWhenHanded)
                wake.wait(lock, ready);
            else if (wait > 0)
                wake.wait_for(lock, std::chrono::milliseconds(wait), ready);
            if (abandon)
                break;
            batch.swap(inbox);
            last = endingSeen = ending;
        }
        for (const auto& job : batch) {
            if (abandon)
                break;
            job(*task);
        }
        if (abandon)
            break;
        wait = task->work(last);
        const bool left = task->pending();
        QString text = task->undone();
        bool done = false;
        {
            std::lock_guard<std::mutex> lock(mutex);
            pending = left || !inbox.empty();
            undone = std::move(text);
            done = last && !pending;
        }
        idle.notify_all();
        if (done)
            break;
    }
    // Its files and connections close on the thread that opened them.
    task.reset();
    bool wasLeft = false;
    {
        std::lock_guard<std::mutex> lock(mutex);
        ended = true;
        wasLeft = leftBehind;
    }
    idle.notify_all();
    if (wasLeft) {
        std::lock_guard<std::mutex> lock(leftMutex);
        --leftCount;
        leftChanged.notify_all();
    }
}

qint64 BackgroundWorker::retryAfterMs(int failures) {
    constexpr qint64 kLongestRetryMs = 10000;
    return std::min(kLongestRetryMs, qint64(1000) << std::clamp(failures, 0, 4));
}

BackgroundWorker::BackgroundWorker(std::function<std::unique_ptr<BackgroundTask>()> make)
    : shared_(std::make_shared<WorkerShared>()) {
    shared_->make = std::move(make);
    shared_->relay = &relay_;
    shared_->told = [this](const QString& warning) {
        if (onWarning)
            onWarning(warning);
    };
    thread_ = std::thread([shared = shared_] { shared->run(); });
}

BackgroundWorker::~BackgroundWorker() {
    finish(QDeadlineTimer(std::chrono::duration_cast<std::chrono::milliseconds>(kSettle)));
}

void BackgroundWorker::post(std::function<void(BackgroundTask&)> job) {
    {
        std::lock_guard<std::mutex> lock(shared_->mutex);
        if (shared_->ending)
            return;
        shared_->inbox.push_back(std::move(job));
        shared_->pending = true;
    }
    shared_->wake.notify_one();
}

QString BackgroundWorker::waitUntilDone(int ms) {
    std::unique_lock<std::mutex> lock(shared_->mutex);
    waitUntil(shared_->idle, lock, QDeadlineTimer(std::max(ms, 0)),
              [this] { return !shared_->pending || shared_->ended; });
    if (!shared_->pending)
        return QString();
    return shared_->undone.isEmpty() ? QString::fromLatin1(kNotDone) : shared_->undone;
}

BackgroundWorker::End BackgroundWorker::finish(QDeadlineTimer deadline) {
    End end;
    if (!thread_.joinable())
        return end;
    WorkerShared& shared = *shared_;
    {
        std::unique_lock<std::mutex> lock(shared.mutex);
        shared.ending = true;
        shared.wake.notify_all();
        const auto ended = [&shared] { return shared.ended; };
        // Pending work has the time up to shortly before the deadline; then the task is told to
        // stop, and a thread that only waited sees it by the deadline.
        const QDeadlineTimer settle =
            deadline.isForever()
                ? deadline
                : QDeadlineTimer(std::max(deadline.remainingTimeAsDuration() - kSettle,
                                          std::chrono::nanoseconds(0)));
        if (!waitUntil(shared.idle, lock, settle, ended)) {
            shared.abandon = true;
            shared.wake.notify_all();
            waitUntil(shared.idle, lock, deadline, ended);
        }
        end.leftBehind = !shared.ended;
        shared.leftBehind = end.leftBehind;
        if (end.leftBehind) {
            std::lock_guard<std::mutex> left(leftMutex);
            ++leftCount;
        }
        if (!shared.ended || shared.pending)
            end.undone = shared.undone.isEmpty() ? QString::fromLatin1(kNotDone) : shared.undone;
        end.untold = std::exchange(shared.untold, {});
        shared.relay = nullptr;
    }
    if (end.leftBehind)
        thread_.detach();
    else
        thread_.join();
    return end;
}

int BackgroundWorker::leftBehind() {
    std::lock_guard<std::mutex> lock(leftMutex);
    return leftCount;
}

bool BackgroundWorker::waitForLeftBehind(int ms) {
    std::unique_lock<std::mutex> lock(leftMutex);
    return waitUntil(leftChanged, lock, QDeadlineTimer(ms), [] { return leftCount == 0; });
}

int BackgroundWorker::endProcess(int status) {
    if (leftBehind() == 0)
        return status;
    std::fflush(stdout);
    std::fflush(stderr);
    std::_Exit(status);
}

void preloadSqlDriver(const QString& type) {
    const QString name = QStringLiteral("tarvel-preload-") + type;
    QSqlDatabase::addDatabase(type, name);
    QSqlDatabase::removeDatabase(name);
}

QString uniqueConnectionName(const QString& kind) {
    static std::atomic<int> count{0};
    return QStringLiteral("tarvel-%1-%2").arg(kind).arg(++count);
}

}  // namespace tarvel
