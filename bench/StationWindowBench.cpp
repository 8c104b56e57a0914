// The station window over many simulated modules at once, in this process, as the window program
// runs it: one tile per port, each port's update a tarvel-update child of its own. Measures what
// the window itself costs (its own processor time, every thread of it, not its children's: they
// run the lines) and what each update's data phase reached of the line rate, read from the log
// that its history row names. Prints a Markdown table; exits 1 when an update failed, a data
// phase is below 98 % of the line rate or the window took 5 % of a core or more.
//
//   station_window_bench [PORTS] [SECTORS]      (16 and 4 unless given)
#include "app/StationWindow.h"
#include "platform/qt/StateFolder.h"
#include "tests/support/Fakes.h"
#include "tests/support/Programs.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>
#include <memory>
#include <vector>

#include <sys/resource.h>

namespace {

using namespace tarvel;
using namespace tarvel::test;

constexpr double kShareAtLeast = 98.0;   // per cent of the line rate, each update's data phase
constexpr double kWindowCpuBelow = 5.0;  // per cent of one core, over the whole run

double ownCpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The data phase's share of the line rate, as the update's log gives it; negative without one.
double shareInLog(const QString& path) {
    QFile log(path);
    if (!log.open(QIODevice::ReadOnly))
        return -1;
    static const QRegularExpression share(QStringLiteral("data phase .* ([0-9.]+) % of the line"));
    const QRegularExpressionMatch found = share.match(QString::fromUtf8(log.readAll()));
    return found.hasMatch() ? found.captured(1).toDouble() : -1;
}

struct Run {
    double wall = 0;
    double cpu = 0;
};

// F1 on every port, then the event loop until no update runs.
Run updateAll(StationWindow& window) {
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (!window.busy())
            loop.quit();
    });
    const double cpuBefore = ownCpuSeconds();
    QElapsedTimer wall;
    wall.start();
    window.startIdle();
    poll.start(250);
    loop.exec();
    return {wall.elapsed() / 1000.0, ownCpuSeconds() - cpuBefore};
}

// One line per update from the history, its port numbered as devices lists it; false when one
// failed or its share is too low.
bool printUpdates(const QString& home, const QStringList& devices) {
    QProcess cli;
    startCli(cli, home, {QStringLiteral("history"), QStringLiteral("--json")});
    const QJsonArray rows = QJsonDocument::fromJson(finish(cli, 30).out.toUtf8()).array();
    std::printf(
        "| module | outcome | seconds | data phase, %% of the line rate |\n|---|---|---|---|\n");
    bool good = rows.size() == devices.size();
    for (const QJsonValue& value : rows) {
        const QJsonObject row = value.toObject();
        const double share = shareInLog(row[QStringLiteral("log")].toString());
        good = good && row[QStringLiteral("outcome")].toString() == QLatin1String("success") &&
               share >= kShareAtLeast;
        std::printf(
            "| %lld | %s | %.1f | %s |\n",
            static_cast<long long>(devices.indexOf(row[QStringLiteral("port")].toString())) + 1,
            qPrintable(row[QStringLiteral("outcome")].toString()),
            row[QStringLiteral("duration_s")].toDouble(),
            share < 0 ? "-" : qPrintable(QString::number(share, 'f', 1)));
    }
    return good;
}

}  // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int ports = argc > 1 ? std::atoi(argv[1]) : 16;
    const int sectors = argc > 2 ? std::atoi(argv[2]) : 4;
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
    qputenv("XDG_STATE_HOME", (home.path() + "/state").toUtf8());
    const QString images = home.filePath(QStringLiteral("images"));
    // bench/station's image (scripts/make-sample-image --header): the upper half of each sector
    // blank but in the last.
    writeFile(images + "/DVB-SAT-bench.bin", ackImage(sectors, [sectors](int sector, int block) {
                  return block < 32 || sector == sectors - 1;
              }));
    // Each module answers at once, as in bench/station: what is measured is the host's side.
    std::vector<std::unique_ptr<SimulatorProcess>> modules;
    QStringList devices;
    for (int i = 0; i < ports; ++i) {
        modules.push_back(std::make_unique<SimulatorProcess>(
            QStringList{"--type", "DVBSAT", "--baud", "115200", "--reply-delay", "0"}));
        devices << modules.back()->path();
    }
    MemorySettingsStore settings;
    settings.values.insert(QStringLiteral("Station/Ports"), devices.join(QStringLiteral(", ")));
    StationWindow window(settings, StationSetup{TARVEL_UPDATE, images, stateFolder()});
    window.resize(1024, 768);
    window.show();
    const Run run = updateAll(window);
    const bool updatesGood = printUpdates(home.path(), devices);
    const double cpuShare = 100 * run.cpu / run.wall;
    std::printf("\n%d updates at once, %d sectors each, %.1f s wall\n", ports, sectors, run.wall);
    std::printf("CPU of the window process itself: %.2f s (%.2f %% of a core; below %.0f %%)\n",
                run.cpu, cpuShare, kWindowCpuBelow);
    return updatesGood && cpuShare < kWindowCpuBelow ? 0 : 1;
}
