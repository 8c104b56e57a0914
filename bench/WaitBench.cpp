// Measures what a wait costs on the real event loop and how soon a reply over a pseudo-terminal
// reaches ReceiveBuffer. Prints one line per figure.
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtSerialDevice.h"
#include "serial/SerialLink.h"
#include "tests/qt/PseudoTerminal.h"
#include "tests/support/Fakes.h"

#include <QCoreApplication>
#include <QTimer>

#include <sys/resource.h>
#include <algorithm>
#include <cstdio>

using namespace tarvel;

namespace {
double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}
}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    const double waitSeconds = argc > 1 ? std::atof(argv[1]) : 10.0;
    test::PseudoTerminal pty;
    test::MemorySettingsStore settings;
    settings.values["Ports/COM1"] = pty.slavePath();
    QtClock clock;
    QtEventPump pump;
    QtSerialDevice device;
    test::FakePortMenu menu;
    test::FakeDialogs dialogs;
    SerialLink link(device, clock, pump, menu, dialogs, settings);
    link.com_Click(1);
    if (!link.MSComm1.PortOpen()) {
        std::fprintf(stderr, "cannot open the pseudo-terminal\n");
        return 1;
    }

    const double cpuBefore = cpuSeconds();
    const double start = clock.seconds();
    link.warte(waitSeconds);
    const double wall = clock.seconds() - start;
    const double cpu = cpuSeconds() - cpuBefore;
    std::printf("warte(%.1f): %.4f s wall, %.4f s CPU = %.3f %% of one core\n", waitSeconds, wall,
                cpu, 100.0 * cpu / wall);

    const double shortStart = clock.seconds();
    for (int i = 0; i < 100; ++i)
        link.warte(0.01);
    std::printf("warte(0.01): %.3f ms on average over 100 waits\n",
                (clock.seconds() - shortStart) * 1e3 / 100);

    std::vector<double> latencies;
    for (int round = 0; round < 500; ++round) {
        link.ReceiveBuffer.clear();
        double writtenAt = 0;
        QTimer::singleShot(1, [&] {
            writtenAt = clock.seconds();
            pty.write("K!");
        });
        while (link.ReceiveBuffer.size() < 2)
            pump.waitForEvents(1.0);
        latencies.push_back(clock.seconds() - writtenAt);
    }
    std::sort(latencies.begin(), latencies.end());
    std::printf(
        "reply to ReceiveBuffer over a pty (500 replies): median %.3f ms, p99 %.3f ms, "
        "max %.3f ms\n",
        latencies[latencies.size() / 2] * 1e3, latencies[latencies.size() * 99 / 100] * 1e3,
        latencies.back() * 1e3);
    return 0;
}
