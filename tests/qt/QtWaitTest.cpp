// warte on the real event loop: it lasts as long as asked, handles events meanwhile, and sleeps
// instead of burning a core.
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtSerialDevice.h"
#include "serial/SerialLink.h"
#include "tests/support/Fakes.h"

#include <QTimer>

#include <gtest/gtest.h>
#include <sys/resource.h>

namespace tarvel::test {
namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

struct RealWait : ::testing::Test {
    QtClock clock;
    QtEventPump pump;
    QtSerialDevice device;
    FakePortMenu menu;
    FakeDialogs dialogs;
    MemorySettingsStore settings;
    SerialLink link{device, clock, pump, menu, dialogs, settings};
};

TEST_F(RealWait, LastsItsLengthRunsTimersMeanwhileAndSleeps) {
    int ticks = 0;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&] { ++ticks; });
    timer.start(100);
    const double cpuBefore = cpuSeconds();
    const double start = clock.seconds();
    const quint32 tickCount = clock.tickCount();
    link.warte(2.0);
    const double wall = clock.seconds() - start;
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("warte(2.0): %.3f s wall, %.2f %% of a core\n", wall, 100 * cpu / wall);
    EXPECT_GE(wall, 2.0);
    EXPECT_LT(wall, 2.5);
    EXPECT_GE(ticks, 15);
    EXPECT_LT(cpu / wall, 0.02);
    // The tick counter keeps pace with the seconds clock, to its millisecond resolution.
    EXPECT_NEAR((clock.tickCount() - tickCount) / 1000.0, wall, 0.003);
}

}  // namespace
}  // namespace tarvel::test
