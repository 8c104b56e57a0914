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
    FakeDialogs dialogs;
    MemorySettingsStore settings;
    SerialLink link{device, clock, pump, dialogs, settings};
};

TEST_F(RealWait, LastsItsLengthRunsTimersMeanwhileAndSleeps) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(100);
    const double cpuBefore = cpuSeconds();
    const double start = clock.seconds();
    const quint32 tickCount = clock.tickCount();
    link.replies().warte(2.0);
    const double wall = clock.seconds() - start;
    const double cpu = cpuSeconds() - cpuBefore;
    // Bounds that a loaded machine keeps: a wait that ended early, ran on, or let no timer
    // through would not.
    EXPECT_GE(wall, 2.0);
    EXPECT_LT(wall, 4.0);
    EXPECT_GE(ticks, 10);
    EXPECT_LT(cpu / wall, 0.02);
    // The tick counter keeps pace with the seconds clock, to its millisecond resolution.
    EXPECT_NEAR((clock.tickCount() - tickCount) / 1000.0, wall, 0.003);
}

}  // namespace
}  // namespace tarvel::test
