#pragma once

#include <QDeadlineTimer>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <thread>

namespace tarvel {

struct WorkerShared;

// The one way this program runs work that can block (a disk, a database, the network): a thread
// of its own, a queue of jobs run in the order they came, results handed back to the thread that
// made the worker, one set of rules for a busy or failing store, and an end with a deadline.
//
//   owner's thread ──post(job)──▶ queue ──▶ worker's thread: jobs, then task.work()
//        ▲                                        │
//        └───── tell(fn), warn(text): queued ─────┘
//
// What runs there is a BackgroundTask, made on the worker's thread and destroyed on it, so that
// each connection it opens serves the thread that made it. A thread that a disk or a server
// still holds at the deadline is left behind: it owns everything it touches (the task, its
// queue), tells nobody anything after the deadline, and ends on its own once the kernel lets it
// go; a process that has one ends through endProcess(), which runs no destructor that could pull
// a library or a connection from under it.
class BackgroundTask {
  public:
    // work()'s answer when nothing is due until a job comes.
    static constexpr qint64 kWhenHanded = -1;

    virtual ~BackgroundTask() = default;

    // Does what is due, after each batch of jobs and whenever the time it asked for has come;
    // the milliseconds until it is due again, or kWhenHanded. ending: finish() has been called.
    virtual qint64 work(bool ending) = 0;
    // Something handed over may still be done: finish() waits for it, up to its deadline.
    virtual bool pending() const = 0;
    // What is left undone, as a sentence for the technician; empty when nothing.
    virtual QString undone() const = 0;

  protected:
    // A warning for the technician, told once on the owner's thread (or by finish()).
    void warn(const QString& warning);
    // fn runs on the owner's thread, unless the worker has ended by then.
    void tell(std::function<void()> fn);

  private:
    friend struct WorkerShared;
    WorkerShared* shared_ = nullptr;
};

class BackgroundWorker {
  public:
    // A local history that another process holds: a write waits this long for its transaction,
    // then lets the other work go first and is tried again this soon, quietly.
    static constexpr int kBusyWaitMs = 100;
    static constexpr int kBusyRetryMs = 250;
    // After any other failure (a full disk, a server that is down): tried again after 1, 2, 4,
    // 8, then every 10 s.
    static qint64 retryAfterMs(int failures);

    // make: the task, called on the worker's thread as it starts.
    explicit BackgroundWorker(std::function<std::unique_ptr<BackgroundTask>()> make);
    // finish() with no time left.
    ~BackgroundWorker();
    BackgroundWorker(const BackgroundWorker&) = delete;
    BackgroundWorker& operator=(const BackgroundWorker&) = delete;

    // Runs job on the worker's thread, after those posted before it.
    void post(std::function<void(BackgroundTask&)> job);
    // Waits until nothing handed over is pending, at most ms; empty when so, else what is left.
    QString waitUntilDone(int ms);

    struct End {
        QString undone;           // what is left undone; empty when nothing
        QStringList untold;       // warnings the owner's event loop has not told yet
        bool leftBehind = false;  // the thread is still held, and left to end on its own
    };
    // Lets the task finish what is pending, and returns by the deadline in every case. Nothing is
    // told after it.
    End finish(QDeadlineTimer deadline);

    // A warning from the task, on the owner's thread.
    std::function<void(const QString& warning)> onWarning;

    // Threads left behind at their deadline that have not ended yet, in this process.
    static int leftBehind();
    // Waits, at most ms, until none is left behind; true when none is.
    static bool waitForLeftBehind(int ms);
    // For the end of main: status, returned when no thread was left behind; otherwise the
    // process ends here with it, output flushed, without the static destructors that would take
    // a library or a connection from under such a thread.
    static int endProcess(int status);

  private:
    QObject relay_;  // lives on the owner's thread: what tell() runs goes through it
    std::shared_ptr<WorkerShared> shared_;
    std::thread thread_;
};

// The same worker, its jobs given the task's own type.
template <class Task>
class Worker : public BackgroundWorker {
  public:
    explicit Worker(std::function<std::unique_ptr<Task>()> make)
        : BackgroundWorker(
              [make = std::move(make)]() -> std::unique_ptr<BackgroundTask> { return make(); }) {}
    void post(std::function<void(Task&)> job) {
        BackgroundWorker::post(
            [job = std::move(job)](BackgroundTask& task) { job(static_cast<Task&>(task)); });
    }
};

// Qt makes a database plugin's instance on the thread that first opens a connection of its kind
// and keeps it until the process ends; made here, on the owner's thread, it belongs to the
// thread that outlives the workers (one made on a worker's thread stalls the exit under Wine).
void preloadSqlDriver(const QString& type);
// A Qt SQL connection name no other connection of this process has.
QString uniqueConnectionName(const QString& kind);

}  // namespace tarvel
