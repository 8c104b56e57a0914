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
    EXPECT_LT(took, 1.0);
    EXPECT_GE(ticks, 3);
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
    const double waited = clock.seconds() - seconds;
    EXPECT_GE(waited, 0.25);
    // The tick counter keeps pace with the seconds clock, to its millisecond resolution.
    EXPECT_NEAR((clock.tickCount() - ticks) / 1000.0, waited, 0.003);
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
