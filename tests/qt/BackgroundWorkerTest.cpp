// The one worker for blocking work: jobs in order, results and warnings on the owner's thread,
// and an end that keeps its deadline even while a job is held (a hung disk, a silent server).
#include "record/BackgroundWorker.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <condition_variable>
#include <mutex>
#include <thread>

namespace tarvel::test {
namespace {

// What the tests see of a task: a job may be held until released, as a write on a hung disk.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    bool held = false;  // a job waits for it
    QStringList done;   // the jobs done, in order
    bool destroyed = false;
    QThread* destroyedOn = nullptr;

    void waitUntilHeld() {
        std::unique_lock<std::mutex> lock(mutex);
        opened.wait(lock, [this] { return held; });
    }
    void release() {
        std::lock_guard<std::mutex> lock(mutex);
        open = true;
        opened.notify_all();
    }
};

class GatedTask : public BackgroundTask {
  public:
    explicit GatedTask(std::shared_ptr<Gate> gate) : gate_(std::move(gate)) {}
    ~GatedTask() override {
        std::lock_guard<std::mutex> lock(gate_->mutex);
        gate_->destroyed = true;
        gate_->destroyedOn = QThread::currentThread();
    }
    qint64 work(bool) override { return kWhenHanded; }
    bool pending() const override { return !left_.isEmpty(); }
    QString undone() const override {
        return left_.isEmpty() ? QString() : QStringLiteral("left: ") + left_.join(", ");
    }

    void job(const QString& name, bool held) {
        left_ << name;
        if (held) {
            std::unique_lock<std::mutex> lock(gate_->mutex);
            gate_->held = true;
            gate_->opened.notify_all();
            gate_->opened.wait(lock, [this] { return gate_->open; });
        }
        {
            std::lock_guard<std::mutex> lock(gate_->mutex);
            gate_->done << name;
        }
        left_.removeOne(name);
        warn(QStringLiteral("warned by ") + name);
        tell([name, this] { told << name; });
    }
    QStringList told;  // read on the owner's thread only

  private:
    std::shared_ptr<Gate> gate_;
    QStringList left_;
};

TEST(BackgroundWorker, RunsJobsInOrderAndTellsTheOwnerOnItsThread) {
    auto gate = std::make_shared<Gate>();
    GatedTask* task = nullptr;
    QStringList warnings;
    {
        Worker<GatedTask> worker([gate, &task] {
            auto made = std::make_unique<GatedTask>(gate);
            task = made.get();
            return made;
        });
        worker.onWarning = [&warnings](const QString& warning) {
            EXPECT_EQ(QThread::currentThread(), QCoreApplication::instance()->thread());
            warnings << warning;
        };
        for (const char* name : {"a", "b", "c"})
            worker.post([name](GatedTask& each) { each.job(QString::fromLatin1(name), false); });
        EXPECT_EQ(worker.waitUntilDone(5000), "");
        EXPECT_TRUE(QTest::qWaitFor([&] { return warnings.size() == 3; }, 30000));
        EXPECT_EQ(warnings, QStringList({"warned by a", "warned by b", "warned by c"}));
        EXPECT_EQ(task->told, QStringList({"a", "b", "c"}));
        const BackgroundWorker::End end = worker.finish(QDeadlineTimer(5000));
        EXPECT_EQ(end.undone, "");
        EXPECT_TRUE(end.untold.isEmpty());
        EXPECT_FALSE(end.leftBehind);
    }
    EXPECT_EQ(gate->done, QStringList({"a", "b", "c"}));
    EXPECT_TRUE(gate->destroyed);
    EXPECT_NE(gate->destroyedOn, QCoreApplication::instance()->thread());
}

// A job held by "the kernel" at the deadline: finish() keeps the deadline, says what is left and
// tells nothing more; the task lives on until the job is let go, then ends on its own thread.
TEST(BackgroundWorker, AHeldJobAtTheDeadlineIsLeftBehindWithNothingTakenFromUnderIt) {
    struct Case {
        const char* name;
        int deadlineMs;
    };
    for (const Case& each : {Case{"no time at all", 0}, Case{"one second", 1000}}) {
        SCOPED_TRACE(each.name);
        auto gate = std::make_shared<Gate>();
        bool toldAfterTheEnd = false;
        BackgroundWorker::End end;
        QElapsedTimer finishing;
        {
            Worker<GatedTask> worker([gate] { return std::make_unique<GatedTask>(gate); });
            worker.onWarning = [&toldAfterTheEnd](const QString&) { toldAfterTheEnd = true; };
            worker.post([](GatedTask& task) { task.job(QStringLiteral("held"), true); });
            gate->waitUntilHeld();
            finishing.start();
            end = worker.finish(QDeadlineTimer(each.deadlineMs));
            // By the deadline, give or take what a loaded machine adds to any wake-up.
            EXPECT_LE(finishing.elapsed(), each.deadlineMs + 2000);
        }
        EXPECT_TRUE(end.leftBehind);
        EXPECT_EQ(end.undone, "Not all that was handed over is done yet.");
        EXPECT_EQ(BackgroundWorker::leftBehind(), 1);
        {
            std::lock_guard<std::mutex> lock(gate->mutex);
            EXPECT_FALSE(gate->destroyed);
        }
        gate->release();
        EXPECT_TRUE(BackgroundWorker::waitForLeftBehind(10000));
        QCoreApplication::processEvents();
        EXPECT_FALSE(toldAfterTheEnd);
        std::lock_guard<std::mutex> lock(gate->mutex);
        EXPECT_EQ(gate->done, QStringList({"held"}));
        EXPECT_TRUE(gate->destroyed);
    }
}

// Work that ends before the deadline is waited for, and what it says is kept.
TEST(BackgroundWorker, PendingWorkIsWaitedForAndAWarningNotToldComesWithTheEnd) {
    auto gate = std::make_shared<Gate>();
    Worker<GatedTask> worker([gate] { return std::make_unique<GatedTask>(gate); });
    QStringList warnings;
    worker.onWarning = [&warnings](const QString& warning) { warnings << warning; };
    worker.post([](GatedTask& task) { task.job(QStringLiteral("slow"), true); });
    gate->waitUntilHeld();
    EXPECT_EQ(worker.waitUntilDone(50), "Not all that was handed over is done yet.");
    // Let go while finish() waits.
    std::thread disk([gate] {
        QThread::msleep(200);
        gate->release();
    });
    const BackgroundWorker::End end = worker.finish(QDeadlineTimer(10000));
    disk.join();
    EXPECT_FALSE(end.leftBehind);
    EXPECT_EQ(end.undone, "");
    EXPECT_EQ(end.untold, QStringList({"warned by slow"}));
    QCoreApplication::processEvents();
    EXPECT_TRUE(warnings.isEmpty());
}

}  // namespace
}  // namespace tarvel::test
