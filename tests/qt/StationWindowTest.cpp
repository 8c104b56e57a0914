// The station window over simulated modules, each port's update a tarvel-update process of its
// own: the tiles' colours, texts and counts, the history rows, Esc, Repeat's hold of a failure;
// and the grid that fits eight tiles on 1024 × 768 (CTest runs it at 100, 125 and 150 %).
#include "app/StationWindow.h"
#include "platform/qt/StateFolder.h"
#include "tests/support/Fakes.h"
#include "tests/support/Programs.h"

#include <QApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace tarvel::test {
namespace {

struct StationWindowTest : ::testing::Test {
    StationWindowTest() {
        qputenv("XDG_CONFIG_HOME", (home.path() + "/config").toUtf8());
        qputenv("XDG_STATE_HOME", (home.path() + "/state").toUtf8());
        writeFile(images() + "/DVB-GEN-1.bin", requestImage(1));
    }
    ~StationWindowTest() override {
        qunsetenv("XDG_CONFIG_HOME");
        qunsetenv("XDG_STATE_HOME");
    }
    QString images() const { return home.filePath("images"); }
    StationWindow& open(const QStringList& ports) {
        settings.values.insert("Station/Ports", ports.join(", "));
        window = std::make_unique<StationWindow>(
            settings, StationSetup{TARVEL_UPDATE, images(), stateFolder()});
        window->ask = [this](const QString& text, const QString&) {
            asked << text;
            return true;
        };
        window->resize(1000, 700);
        window->show();
        QApplication::setActiveWindow(window.get());
        EXPECT_TRUE(QTest::qWaitForWindowActive(window.get()));
        return *window;
    }
    // Runs the event loop until done, at most two minutes.
    static bool until(const std::function<bool()>& done) {
        QElapsedTimer waited;
        waited.start();
        while (!done() && !waited.hasExpired(120000))
            QTest::qWait(20);
        return done();
    }
    QJsonArray history() {
        QProcess cli;
        startCli(cli, home.path(), {"history", "--json"});
        return QJsonDocument::fromJson(finish(cli, 10).out.toUtf8()).array();
    }

    QTemporaryDir home;
    MemorySettingsStore settings;
    std::unique_ptr<StationWindow> window;
    QStringList asked;
};

// F1 on four ports: two modules pass, one rejects a block, one's adapter is pulled during the
// transfer. Each tile shows its own end, the failures' reasons, and the shift's counts from the
// four rows the updates wrote; a failed tile turns grey only once its key acknowledges it.
TEST_F(StationWindowTest, FourModulesAtOnce) {
    writeFile(images() + "/DVB-SAT-1.bin", ackImage(1, [](int, int block) { return block < 8; }));
    SimulatorProcess good1({"--announce", "UP"});
    SimulatorProcess failing({"--type", "DVBSAT", "--reject-block", "2"});
    SimulatorProcess pulled({"--announce", "UP", "--hang-up-at", "2"});
    SimulatorProcess good4({"--type", "DVBSAT"});
    StationWindow& station = open({good1.path(), failing.path(), pulled.path(), good4.path()});
    QTest::keyClick(&station, Qt::Key_F1);
    ASSERT_TRUE(until([&] { return !station.busy(); }));
    ASSERT_TRUE(until([&] { return station.counts().total().failed == 2; }))
        << qPrintable(station.totals()) << qPrintable(QJsonDocument(history()).toJson());
    const struct {
        PortState state;
        QRgb face;
        const char* module;
        const char* english;
        QString reason;
        const char* counts;
    } tiles[] = {
        {PortState::Passed, 0x00C000, "UP · DVB-GEN-1.bin", "Update Successful", "",
         "passed 1 · failed 0"},
        {PortState::Failed, 0xD00000, "DVBSAT · DVB-SAT-1.bin", "Take the module off, then press 2",
         "The module answered \"E!\" to the data of sector 19, block 2, 3 times in a row.",
         "passed 0 · failed 1"},
        {PortState::Failed, 0xD00000, "UP · DVB-GEN-1.bin", "Take the module off, then press 3",
         pulled.path() + " was lost during the end mark \"EN\" after the last sector: No such "
                         "file or directory.",
         "passed 0 · failed 1"},
        {PortState::Passed, 0x00C000, "DVBSAT · DVB-SAT-1.bin", "Update Successful", "",
         "passed 1 · failed 0"},
    };
    for (int i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        StationTile& tile = station.tile(i);
        EXPECT_EQ(tile.state(), tiles[i].state);
        EXPECT_EQ(tile.face().rgb() & 0xFFFFFF, tiles[i].face);
        EXPECT_EQ(tile.module(), QString::fromUtf8(tiles[i].module));
        EXPECT_EQ(tile.english(), tiles[i].english);
        EXPECT_EQ(tile.reason(), tiles[i].reason);
        EXPECT_EQ(tile.counts(), QString::fromUtf8(tiles[i].counts));
    }
    EXPECT_EQ(station.tile(0).progress().value(), 100);
    EXPECT_TRUE(station.totals().endsWith(": passed 2, failed 2")) << qPrintable(station.totals());
    EXPECT_EQ(history().size(), 4);
    QTest::keyClick(&station, Qt::Key_2);
    EXPECT_EQ(station.tile(1).state(), PortState::Idle);
    EXPECT_EQ(station.tile(2).state(), PortState::Failed);
}

}  // namespace
}  // namespace tarvel::test
