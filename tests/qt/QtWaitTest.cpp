// warte on the real event loop: it lasts as long as asked, handles events meanwhile, and sleeps
// instead of burning a core.
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtSerialDevice.h"
#include "serial/SerialLink.h"
#include "tests/support/CpuTime.h"
#include "tests/support/Fakes.h"

#include <QTimer>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct RealWait : ::testing::Test {
    QtClock clock;
    QtEventPump pump;
    QtSerialDevice device;
    FakePortMenu menu;
    FakeDialogs dialogs;
    MemorySettingsStore settings;
    SerialLink link{device, clock, pump, menu, dialogs, settings};
};

TEST_F(RealWait, LastsAtLeastItsLengthAndRunsTimersMeanwhile) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(100);
    const double start = clock.seconds();
    link.warte(0.5);
    const double took = clock.seconds() - start;
    EXPECT_GE(took, 0.5);
    EXPECT_LT(took, 0.6);
    EXPECT_GE(ticks, 4);
}

TEST_F(RealWait, SleepsInsteadOfSpinning) {
    const double cpuBefore = cpuSeconds();
    const double start = clock.seconds();
    link.warte(2.0);
    const double wall = clock.seconds() - start;
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("warte(2.0): %.3f s wall, %.4f s CPU (%.2f %% of a core)\n", wall, cpu,
                100 * cpu / wall);
    EXPECT_LT(cpu / wall, 0.02);
}

TEST_F(RealWait, BothClocksAdvanceWithRealTime) {
    const quint32 ticks = clock.tickCount();
    const double seconds = clock.seconds();
    link.warte(0.25);
    EXPECT_NEAR(static_cast<double>(clock.tickCount() - ticks), 250.0, 30.0);
    EXPECT_NEAR(clock.seconds() - seconds, 0.25, 0.03);
}

TEST_F(RealWait, ShortPausesAreNotCutShort) {
    for (int i = 0; i < 20; ++i) {
        const double start = clock.seconds();
        link.warte(0.01);
        EXPECT_GE(clock.seconds() - start, 0.01);
    }
}

}  // namespace
}  // namespace tarvel::test
