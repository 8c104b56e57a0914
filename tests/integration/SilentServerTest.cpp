// A line's server that accepts and never answers (a firewall that drops its replies, a server in
// a storage stall): the updates end and exit as soon as without a line's history, a station
// opens one connection at a time, and `history` gives up within libpq's connect_timeout.
#include "tests/support/Programs.h"
#include "tests/support/SilentServer.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <memory>
#include <vector>

namespace tarvel::test {
namespace {

// A station's home: its settings name the line's history, its image folder is empty, so each
// update ends soon after the module announced itself and is recorded like any other.
struct Home {
    QTemporaryDir dir;

    explicit Home(const QString& database, const QString& ports = {}) {
        QDir().mkpath(dir.filePath("config"));
        QDir().mkpath(dir.filePath("no-images"));
        QFile file(dir.filePath("config/Tarvel_Update_Utility.ini"));
        file.open(QIODevice::WriteOnly);
        file.write("[Station]\nName=station-a\n[History]\nDatabase=" + database.toUtf8() + "\n" +
                   ports.toUtf8());
    }
    CliRun run(const QStringList& arguments) {
        QProcess cli;
        startCli(cli, dir.path(), arguments);
        return finish(cli);
    }
};

// What no run may say however the network fails: a thread or connection of Qt's taken from
// under it.
void expectNoQtWarning(const CliRun& run) {
    for (const char* word : {"QThread", "QSqlDatabase", "QObject", "QMutex", "Sanitizer"})
        EXPECT_FALSE(run.err.contains(word)) << qPrintable(run.err);
}

// What the growth is measured against: the same update without a line's history.
constexpr double kGrowthS = 1.0;  // half a second measured (bench/line-outage), room for load

TEST(SilentServer, AnUpdateEndsAndExitsAsSoonAsWithoutALineHistory) {
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    SimulatorProcess module({"--announce", "UP"});
    const QString ports = "[Ports]\nCOM1=" + module.path() + "\n";
    Home without("", ports);
    const CliRun alone =
        without.run({"update", "--port", "COM1", "--folder", without.dir.filePath("no-images")});
    ASSERT_EQ(alone.exitCode, 2) << qPrintable(alone.err);

    struct Case {
        const char* name;
        QString database;
    };
    for (const Case& each :
         {Case{"a server that accepts and never answers", silent.uri()},
          // Nothing listens on port 1: refused at once.
          Case{"a server that refuses", "postgresql://station_a@127.0.0.1:1/line"}}) {
        SCOPED_TRACE(each.name);
        Home home(each.database, ports);
        const CliRun run =
            home.run({"update", "--port", "COM1", "--folder", home.dir.filePath("no-images")});
        EXPECT_EQ(run.exitCode, alone.exitCode) << qPrintable(run.err);
        EXPECT_LT(run.seconds, alone.seconds + kGrowthS) << alone.seconds;
        expectNoQtWarning(run);
        // The row waits in the station's own history for a later run.
        EXPECT_EQ(home.run({"history", "--pending", "--no-header"}).out.count("  no-image  "), 1);
    }
    EXPECT_GE(silent.connections(), 1);
}

TEST(SilentServer, AStationOpensOneConnectionAtATimeAndItsUpdatesDoNotWait) {
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    std::vector<std::unique_ptr<SimulatorProcess>> modules;
    QStringList arguments{"station"};
    for (int port = 0; port < 4; ++port) {
        modules.push_back(std::make_unique<SimulatorProcess>(QStringList{"--announce", "UP"}));
        arguments << "--port" << modules.back()->path();
    }
    Home without("");
    const CliRun alone =
        without.run(arguments + QStringList{"--folder", without.dir.filePath("no-images")});
    ASSERT_EQ(alone.exitCode, 2) << qPrintable(alone.err);

    Home home(silent.uri());
    const CliRun run =
        home.run(arguments + QStringList{"--folder", home.dir.filePath("no-images")});
    EXPECT_EQ(run.exitCode, alone.exitCode) << qPrintable(run.err);
    EXPECT_LT(run.seconds, alone.seconds + kGrowthS) << alone.seconds;
    expectNoQtWarning(run);
    EXPECT_EQ(silent.mostAtOnce(), 1);
}

TEST(SilentServer, HistoryGivesUpWithinTheConnectTimeout) {
    SilentServer silent;
    ASSERT_GT(silent.port(), 0);
    // libpq's own figure unless the URI gives one: 5 s.
    Home home(silent.uri());
    const CliRun run = home.run({"history"});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, "The line's history " + silent.uri() +
                           " cannot be read: connection to server at \"127.0.0.1\", port " +
                           QString::number(silent.port()) + " failed: timeout expired\n");
    EXPECT_LT(run.seconds, 5 + 10.0);  // the time-out and room for a loaded machine
    // libpq counts its time-out in whole seconds of the clock: it ends between 4 and 5 s after.
    EXPECT_GE(run.seconds, 5 - 1.0);
}

}  // namespace
}  // namespace tarvel::test
