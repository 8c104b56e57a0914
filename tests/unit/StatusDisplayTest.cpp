// The status display and the elapsed-time clock.
#include "status/StatusTexts.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Clock : ::testing::Test {
    void SetUp() override { rig.load({}); }
    void startAt(quint32 tickBase = 0) {
        rig.time.setTickBase(tickBase);
        display().ResetElapsedTime();
        display().StartElapsedClock();
    }
    StatusDisplay& display() { return rig.form->status; }
    Rig rig;
};

TEST_F(Clock, CarriesSecondsIntoMinutesAndMinutesIntoHours) {
    startAt();
    rig.time.advance(59.999);
    EXPECT_EQ(rig.status.elapsed, "0:00:59");
    rig.time.advance(1.0);
    EXPECT_EQ(rig.status.elapsed, "0:01:00");
    rig.time.advance(3600.0 - 60.0);
    EXPECT_EQ(rig.status.elapsed, "1:00:00");
    rig.time.advance(5 * 60 + 7);
    EXPECT_EQ(rig.status.elapsed, "1:05:07");
}

TEST_F(Clock, KeepsCountingAcrossTheTickCounterWrap) {
    startAt(0xFFFFFFFFu - 1500);  // wraps 1.5 s after the start
    rig.time.advance(3.05);
    EXPECT_EQ(rig.status.elapsed, "0:00:03");
    EXPECT_EQ(display().ElapsedMillis, 0);
}

TEST_F(Clock, LateTickAddsTheWholeTimeSinceThePreviousOne) {
    startAt();
    rig.time.advance(0.1);
    display().StopElapsedClock();
    rig.time.advance(2.5);  // the window was busy; no tick ran
    display().Timer1_Timer();
    EXPECT_EQ(rig.status.elapsed, "0:00:02");
    EXPECT_EQ(display().ElapsedMillis, 600);
}

TEST_F(Clock, StopKeepsTheLastTimeAndResetShowsZero) {
    startAt();
    rig.time.advance(12.0);
    display().StopElapsedClock();
    rig.time.advance(30.0);
    EXPECT_EQ(rig.status.elapsed, "0:00:12");
    display().ResetElapsedTime();
    EXPECT_EQ(rig.status.elapsed, "0:00:00");
}

TEST_F(Clock, IndicatorStepRunsThroughElevenPhases) {
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
    display().ShowActivity("Sending Sector 3");
    display().ShowStatus("Error", kRed, "e", "d");
    rig.status.progressValue = 40;
    rig.status.busyPointer = true;
    startAt();
    rig.time.advance(2.0);
    display().ShowReady();
    EXPECT_EQ(rig.form->Activity1.ForeColor(), kGreen);
    EXPECT_EQ(rig.status.titleColor, kBlack);
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_EQ(rig.status.english, texts::readyEnglish());
    EXPECT_EQ(rig.status.german, texts::readyGerman());
    EXPECT_EQ(rig.status.progressValue, 0);
    EXPECT_EQ(rig.status.percent, "0%");
    EXPECT_FALSE(rig.status.busyPointer);
    EXPECT_EQ(rig.status.activity, "Sending Sector 3");
    EXPECT_TRUE(display().elapsedClockRunning());
}

TEST_F(Clock, ShowStatusWithoutAColourKeepsTheWordColour) {
    display().ShowStatus("Error", kRed, "e", "d");
    display().ShowStatus("Running", std::nullopt, "e2", "d2");
    EXPECT_EQ(rig.status.titleColor, kRed);
    EXPECT_EQ(rig.status.title, "Running");
    EXPECT_EQ(rig.status.german, "d2");
}

TEST(StatusNumbers, NonNegativeNumbersGetOneLeadingBlank) {
    EXPECT_EQ(number(0), " 0");
    EXPECT_EQ(number(25), " 25");
    EXPECT_EQ(number(-3), "-3");
    EXPECT_EQ("Sending Sector" + number(0) + "   Block" + number(3), "Sending Sector 0   Block 3");
}

TEST(Version, ThreeNumbersWithoutLeadingZeros) {
    EXPECT_EQ(versionText(2, 0, 8), "V2.0.8");
    EXPECT_EQ(versionText(10, 12, 0), "V10.12.0");
}

}  // namespace
}  // namespace tarvel::test
