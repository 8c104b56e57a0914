// The serial link: choosing and opening a port, how received characters reach ReceiveBuffer,
// output that returns once the line has the bytes, a vanishing adapter, warte, and the wire
// transcript with every byte both ways.
#include "serial/WireLog.h"
#include "tests/support/Rig.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct OpenLink : ::testing::Test {
    void SetUp() override {
        rig.load({1, 2, 5});
        rig.form->portMenu.com_Click(1);
    }
    SerialLink& link() { return rig.session().link(); }
    Rig rig;
};

// Characters are handed over in pairs, as by the two-character receive queue: a lone first
// character waits for its partner, a lone character that completes a pair goes at once.
TEST_F(OpenLink, ReceivedCharactersArriveInPairs) {
    const QByteArray everyByte = everyByteValue();
    struct Row {
        QList<std::pair<double, QByteArray>> arrivals;
        QList<std::pair<double, QByteArray>> buffer;  // ReceiveBuffer at these times
    };
    const Row rows[] = {
        {{{0, "U"}, {0.030, "P"}}, {{0.029, ""}, {0.030, "UP"}}},
        {{{0, "W!K"}, {0.005, "!"}}, {{0.005, "W!K!"}}},
        {{{0, "W"}, {0.001, "!"}, {0.002, "K"}, {0.003, "!"}}, {{0.0015, "W!"}, {0.003, "W!K!"}}},
        {{{0, everyByte}}, {{0.001, everyByte}}},
    };
    for (const Row& row : rows) {
        link().ReceiveBuffer.clear();
        const double start = rig.time.seconds();
        for (const auto& [at, bytes] : row.arrivals)
            rig.serial.deliver(bytes, at);
        for (const auto& [at, expected] : row.buffer) {
            rig.time.advance(start + at - rig.time.seconds());
            EXPECT_EQ(link().ReceiveBuffer, expected) << "at " << at;
        }
        rig.time.advance(0.1);
    }
}

TEST_F(OpenLink, WhatIsSentStartsANewPair) {
    rig.serial.deliver("abc");
    rig.time.advance(0.01);
    link().ReceiveBuffer.clear();
    ASSERT_TRUE(link().send("q"));
    rig.serial.deliver("K");
    rig.time.advance(0.01);
    EXPECT_TRUE(link().ReceiveBuffer.isEmpty());
    rig.serial.deliver("!");
    rig.time.advance(0.01);
    EXPECT_EQ(link().ReceiveBuffer, "K!");
}

TEST_F(OpenLink, OutputReturnsOnceTheLineHasTheBytesAndSeesRepliesMeanwhile) {
    rig.serial.lineBytesPerSecond = 11520;
    rig.serial.deliver("OK", 0.5);
    const QByteArray everyByte = everyByteValue();
    ASSERT_TRUE(link().send(everyByte.repeated(64)));
    EXPECT_EQ(rig.serial.bytesToWrite(), 0);
    EXPECT_NEAR(rig.time.seconds(), 16384 / 11520.0, 0.06);
    EXPECT_EQ(rig.serial.sent(), everyByte.repeated(64));
    EXPECT_EQ(link().ReceiveBuffer, "OK");
}

TEST_F(OpenLink, VanishingAdapterEndsOutputClosesThePortAndClearsTheCheck) {
    rig.serial.lineBytesPerSecond = 11520;
    rig.time.after(0.2, [this] { rig.serial.vanish(); });
    EXPECT_FALSE(link().send(QByteArray(65536, 'A')));
    EXPECT_LT(rig.time.seconds(), 0.3);
    EXPECT_FALSE(link().MSComm1.PortOpen());
    EXPECT_EQ(rig.menu.checkedCount(), 0);
    EXPECT_FALSE(link().send("X"));
}

// A port taken since the scan is named, and none is left open.
TEST_F(OpenLink, PickingAPortClosesTheOldAndOpensTheNew) {
    rig.serial.deliver("xyz");
    rig.time.advance(0.01);
    rig.form->portMenu.com_Click(5);
    EXPECT_FALSE(rig.menu.checked[1]);
    EXPECT_TRUE(rig.menu.checked[5]);
    EXPECT_EQ(rig.serial.openPath(), Rig::pathOf(5));
    EXPECT_TRUE(link().ReceiveBuffer.isEmpty());

    link().ReceiveBuffer = "stale";
    rig.form->portMenu.com_Click(5);  // the open port again: closed, reopened, emptied
    EXPECT_EQ(rig.serial.openLog().count(Rig::pathOf(5)), 3);  // probe, two picks
    EXPECT_TRUE(rig.menu.checked[5]);
    EXPECT_TRUE(link().ReceiveBuffer.isEmpty());

    rig.serial.busyPaths.insert(Rig::pathOf(5));  // taken by another program since the scan
    rig.form->portMenu.com_Click(5);
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.menu.checkedCount(), 0);
    const ShownMessage busy{"Com5 (/dev/fake5) cannot be opened: /dev/fake5 is busy",
                            "ComPortError", MessageIcon::Critical};
    EXPECT_EQ(rig.dialogs.shown, QList{busy});
}

TEST_F(OpenLink, WarteLastsItsLengthWhileTicksAndCharactersAreHandled) {
    rig.display().StartElapsedClock();
    rig.serial.deliver("UP", 0.3);
    const double start = rig.time.seconds();
    const auto waits = rig.time.waits();
    link().warte(0.5);
    EXPECT_DOUBLE_EQ(rig.time.seconds() - start, 0.5);
    EXPECT_EQ(link().ReceiveBuffer, "UP");
    EXPECT_EQ(rig.timer1.ticks(), 5);
    EXPECT_LE(rig.time.waits() - waits, 7u);  // one wake-up per event, no polling

    const auto before = rig.time.waits();
    link().warte(0);
    link().warte(-1);
    EXPECT_EQ(rig.time.waits(), before);
    rig.display().StopElapsedClock();
    link().warte(10);
    EXPECT_LE(rig.time.waits() - before, 2u);
}

// An unwritable transcript is reported.
TEST(WireLog, RecordsBothWaysSixteenBytesALineAndCountsThem) {
    QTemporaryDir dir;
    VirtualTime time;
    FakeSerialDevice device(time);
    device.presentPaths.insert("/dev/x");
    WireLog wire(device);
    ASSERT_TRUE(wire.writeTranscriptTo(dir.filePath("t.txt"), nullptr));
    ASSERT_TRUE(wire.open("/dev/x", nullptr));
    ASSERT_TRUE(wire.write(QByteArray(16, 'X') + QByteArray("e\x05K!\xff", 5)));
    device.deliver("UP");
    time.advance(0.01);
    EXPECT_EQ(wire.readAll(), "UP");
    EXPECT_EQ(wire.bytesSent(), 21);
    EXPECT_EQ(wire.bytesReceived(), 2);

    QFile file(dir.filePath("t.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].mid(10),
              " TX  58 58 58 58 58 58 58 58 58 58 58 58 58 58 58 58  |XXXXXXXXXXXXXXXX|");
    EXPECT_EQ(lines[1].mid(10), " TX  65 05 4B 21 FF" + QByteArray(34, ' ') + " |e.K!.|");
    EXPECT_EQ(lines[2].mid(10), " RX  55 50" + QByteArray(43, ' ') + " |UP|");
    QString error;
    EXPECT_FALSE(WireLog(device).writeTranscriptTo("/nonexistent/folder/t.txt", &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace tarvel::test
