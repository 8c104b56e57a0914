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
#include <QRegularExpression>
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

// Esc asks, then every update ends interrupted and records so; a stop is no failure of the shift.
TEST_F(StationWindowTest, EscStopsEveryUpdateAfterAsking) {
    SimulatorProcess slow1({"--announce", "UP", "--baud", "19200"});
    SimulatorProcess slow2({"--announce", "UP", "--baud", "19200"});
    StationWindow& station = open({slow1.path(), slow2.path()});
    QTest::keyClick(&station, Qt::Key_F1);
    ASSERT_TRUE(until([&] {
        return station.tile(0).progress().value() > 0 && station.tile(1).progress().value() > 0;
    }));
    QTest::keyClick(&station, Qt::Key_Escape);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_TRUE(asked[0].startsWith("Stop every update? Each ends interrupted and is recorded.\n"));
    ASSERT_TRUE(until([&] { return !station.busy(); }));
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(station.tile(i).state(), PortState::Failed);
        EXPECT_TRUE(station.tile(i).reason().contains(
            QRegularExpression("^Interrupted after [0-9.]+ s, during sector 0, block [0-9]+: the "
                               "module may hold a partial image; run the update again.$")))
            << qPrintable(station.tile(i).reason());
    }
    const QJsonArray rows = history();
    ASSERT_EQ(rows.size(), 2);
    for (const QJsonValue& row : rows)
        EXPECT_EQ(row.toObject().value("outcome"), "interrupted");
    const int readings = station.counts().readings();
    station.counts().refresh();
    ASSERT_TRUE(until([&] { return station.counts().readings() > readings; }));
    EXPECT_TRUE(station.totals().endsWith(": passed 0, failed 0")) << qPrintable(station.totals());
}

// With Repeat a failed module holds its port red, with no update running, until its key
// acknowledges it; then the port waits, amber, for the next module.
TEST_F(StationWindowTest, RepeatHoldsAFailureUntilAcknowledged) {
    writeFile(images() + "/DVB-SAT-1.bin", ackImage(1, [](int, int block) { return block < 8; }));
    SimulatorProcess failing({"--type", "DVBSAT", "--reject-block", "2"});
    settings.values.insert("Station/Repeat", "on");
    StationWindow& station = open({failing.path()});
    QTest::keyClick(&station, Qt::Key_1);
    ASSERT_TRUE(until(
        [&] { return station.views()[0].held && station.tile(0).state() == PortState::Failed; }));
    EXPECT_FALSE(station.busy());
    EXPECT_EQ(station.tile(0).state(), PortState::Failed);
    EXPECT_EQ(station.tile(0).english(), "Take the module off, then press 1");
    QTest::keyClick(&station, Qt::Key_F1);  // F1 passes a failed port by
    EXPECT_FALSE(station.busy());
    QTest::keyClick(&station, Qt::Key_1);
    EXPECT_EQ(station.tile(0).state(), PortState::Waiting);
    EXPECT_EQ(station.tile(0).face().rgb() & 0xFFFFFF, 0xFFBF00u);
    EXPECT_TRUE(station.stopAll());
    ASSERT_TRUE(until([&] { return !station.busy(); }));
}

// An update process that ends without an outcome marks its own tile crashed, with why.
TEST_F(StationWindowTest, AProcessWithoutAnOutcomeIsCrashed) {
    settings.values.insert("Station/Ports", "/dev/null");
    StationWindow station(settings, StationSetup{"/bin/false", images(), stateFolder()});
    station.press(0);
    ASSERT_TRUE(until([&] { return station.tile(0).state() == PortState::Failed; }));
    EXPECT_EQ(station.views()[0].word, "crashed");
    EXPECT_EQ(station.tile(0).reason(),
              "The update's process ended without an outcome (exit status 1).");
}

// Eight tiles on 1024 × 768 and sixteen on 1920 × 1080, at this run's scale: every tile whole
// in view, none below its smallest readable size, its port's name whole.
TEST_F(StationWindowTest, TilesFitTheScreen) {
    const double scale = qApp->primaryScreen()->devicePixelRatio();
    for (const auto& [count, screen] : {std::pair{8, QSize(1024, 768)}, {16, QSize(1920, 1080)}}) {
        QStringList ports;
        for (int i = 1; i <= count; ++i)
            ports << QStringLiteral("/dev/ttyUSB%1").arg(i - 1);
        StationWindow& station = open(ports);
        // The screen less a taskbar and the window's frame.
        station.resize((QSizeF(screen) / scale).toSize() - QSize(16, 80));
        QApplication::processEvents();
        const QWidget& view = *station.grid().parentWidget();
        EXPECT_LE(station.grid().height(), view.height()) << count << " tiles scroll";
        for (int i = 0; i < count; ++i) {
            SCOPED_TRACE(i);
            StationTile& tile = station.tile(i);
            EXPECT_TRUE(QRect(QPoint(), view.size())
                            .contains(QRect(tile.mapTo(&view, QPoint()), tile.size())))
                << count << " tiles: " << tile.mapTo(&view, QPoint()).x() << ","
                << tile.mapTo(&view, QPoint()).y() << " " << tile.width() << "x" << tile.height()
                << " min " << tile.minimumSizeHint().width() << "x"
                << tile.minimumSizeHint().height() << " in " << view.width() << " x "
                << view.height();
            EXPECT_GE(tile.width(), tile.minimumSizeHint().width());
            EXPECT_GE(tile.height(), tile.minimumSizeHint().height());
            // ElidedLabel has no meta-object of its own: every QLabel is asked whether it is one.
            int titles = 0;
            for (const QLabel* child : tile.findChildren<QLabel*>()) {
                const auto* label = dynamic_cast<const ElidedLabel*>(child);
                if (label && label->fullText() == tile.title()) {
                    ++titles;
                    EXPECT_GE(label->contentsRect().width() - 6,
                              label->fontMetrics().horizontalAdvance(tile.title()));
                }
            }
            EXPECT_EQ(titles, 1);
        }
    }
}

}  // namespace
}  // namespace tarvel::test
