// The simulated line's pace: an idle line saves up a short burst and no more, while bytes that
// wait to be taken keep their line time however late the module takes them.
#include "sim/Pacer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

namespace tarvel::test {
namespace {

// 1000 bytes/s: a burst of 10 ms is 10 bytes. Each sleep is a least, never a most, so the bounds
// hold on a machine however loaded.
constexpr double kRate = 1000;
constexpr qint64 kBurst = 10;

void sleepMs(int milliseconds) {
    std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

TEST(Pacer, AnIdleLineSavesUpABurstAndNoMore) {
    sim::Pacer pace(kRate);
    EXPECT_EQ(pace.allowance(), kBurst);
    pace.consume(kBurst);
    sleepMs(100);
    EXPECT_EQ(pace.allowance(), kBurst);
}

TEST(Pacer, BytesWaitingKeepTheirLineTimeWhileNobodyTakesThem) {
    sim::Pacer pace(kRate);
    pace.consume(pace.allowance());
    pace.setWaiting(500);
    sleepMs(100);
    const qint64 allowed = pace.allowance();
    EXPECT_GE(allowed, 99);  // 100 ms of line, less the rounding down
    EXPECT_LE(allowed, 500 + kBurst);
    // Taken: the line is idle again unless more waits, and saves up no more than a burst.
    pace.consume(allowed);
    pace.setWaiting(0);
    sleepMs(100);
    EXPECT_EQ(pace.allowance(), kBurst);
}

TEST(Pacer, TellsWhenSoManyBytesHaveHadTheirLineTime) {
    sim::Pacer pace(kRate);
    pace.consume(pace.allowance());
    pace.setWaiting(300);
    // 200 ms of line, less what passed since the last byte was taken.
    const int wait = pace.millisecondsUntil(200);
    EXPECT_GT(wait, 100);
    EXPECT_LE(wait, 200);
    EXPECT_EQ(sim::Pacer(0).millisecondsUntil(200), 1);  // no pacing: at once
}

}  // namespace
}  // namespace tarvel::test
