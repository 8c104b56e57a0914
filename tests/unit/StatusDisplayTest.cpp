// The status display's own rules: the elapsed-time clock, the indicator's turning, the ready
// state, numbers in texts and the version text.
#include "status/StatusTexts.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Clock : ::testing::Test {
    void SetUp() override { rig.load({}); }
    void startAt(quint32 tickBase = 0) {
        rig.time.setTickBase(tickBase);
        rig.display().ResetElapsedTime();
        rig.display().StartElapsedClock();
    }
    Rig rig;
};

// The tick counter wraps 1.5 s after the start.
TEST_F(Clock, CarriesSecondsIntoMinutesAndMinutesIntoHoursAcrossTheTickCounterWrap) {
    startAt(0xFFFFFFFFu - 1500);
    const std::pair<double, const char*> steps[] = {
        {1.4, "0:00:01"}, {1.65, "0:00:03"},          {59.999 - 3.05, "0:00:59"},
        {1.0, "0:01:00"}, {3600.0 - 60.0, "1:00:00"}, {5 * 60 + 7, "1:05:07"}};
    for (const auto& [seconds, shown] : steps) {
        rig.time.advance(seconds);
        EXPECT_EQ(rig.status.elapsed, shown);
    }
}

TEST_F(Clock, LateTickAddsTheWholeTimeSinceThePreviousOne) {
    startAt();
    rig.time.advance(0.1);
    rig.display().StopElapsedClock();
    rig.time.advance(2.5);  // the window was busy; no tick ran
    rig.display().Timer1_Timer();
    EXPECT_EQ(rig.status.elapsed, "0:00:02");
    rig.time.advance(0.4);
    rig.display().Timer1_Timer();  // the 600 ms left over count on
    EXPECT_EQ(rig.status.elapsed, "0:00:03");
}

TEST_F(Clock, IndicatorStepRunsThroughElevenPhasesPerSweep) {
    rig.form->Activity1.setStep(0);
    startAt();
    QList<int> steps;
    for (int tick = 0; tick < 11; ++tick) {
        rig.time.advance(0.1);
        steps << rig.form->Activity1.Step();
    }
    EXPECT_EQ(steps, (QList<int>{10, 20, 30, 40, 50, 60, 70, 80, 90, 100, 0}));
}

TEST_F(Clock, ShowReadyRestoresTheReadyStateButNotTheClockOrActivityLine) {
    rig.display().ShowActivity("Sending Sector 3");
    rig.display().ShowStatus("Error", 0x0000FF, "e", "d");
    rig.status.busyPointer = true;
    startAt();
    rig.display().ShowReady();
    EXPECT_EQ(rig.surface.fore, 0x00C000u);
    EXPECT_EQ(rig.status.statuses.last(), kReadyStatus);
    EXPECT_EQ(rig.status.progressValue, 0);
    EXPECT_EQ(rig.status.percent, "0%");
    EXPECT_FALSE(rig.status.busyPointer);
    EXPECT_EQ(rig.status.activity, "Sending Sector 3");
    EXPECT_TRUE(rig.timer1.isEnabled());
}

// (Numbers from 0 up show in the transfers' activity lines and percentages.)
TEST(StatusTexts, NegativeNumbersGetNoLeadingBlankAndTheVersionNone) {
    EXPECT_EQ(number(-3) + versionText(10, 2, 8), "-3V10.2.8");
}

}  // namespace
}  // namespace tarvel::test
