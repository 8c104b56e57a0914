// The serial link: choosing and opening a port, how received characters reach ReceiveBuffer,
// output that returns once the line has the bytes, a vanishing adapter, warte, and the wire
// transcript with every byte both ways.
#include "serial/WireLog.h"
#include "tests/support/Rig.h"

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
        link().replies().discard();
        const double start = rig.time.seconds();
        for (const auto& [at, bytes] : row.arrivals)
            rig.serial.deliver(bytes, at);
        for (const auto& [at, expected] : row.buffer) {
            rig.time.advance(start + at - rig.time.seconds());
            EXPECT_EQ(link().replies().ReceiveBuffer(), expected) << "at " << at;
        }
        rig.time.advance(0.1);
    }
}

TEST_F(OpenLink, WhatIsSentStartsANewPair) {
    rig.serial.deliver("abc");
    rig.time.advance(0.01);
    link().replies().discard();
    ASSERT_TRUE(link().replies().send("q"));
    rig.serial.deliver("K");
    rig.time.advance(0.01);
    EXPECT_TRUE(link().replies().ReceiveBuffer().isEmpty());
    rig.serial.deliver("!");
    rig.time.advance(0.01);
    EXPECT_EQ(link().replies().ReceiveBuffer(), "K!");
}

TEST_F(OpenLink, OutputReturnsOnceTheLineHasTheBytesAndSeesRepliesMeanwhile) {
    rig.serial.lineBytesPerSecond = 11520;
    rig.serial.deliver("OK", 0.5);
    const QByteArray everyByte = everyByteValue();
    ASSERT_TRUE(link().replies().send(everyByte.repeated(64)));
    EXPECT_EQ(rig.serial.bytesToWrite(), 0);
    EXPECT_NEAR(rig.time.seconds(), 16384 / 11520.0, 0.06);
    EXPECT_EQ(rig.serial.sent(), everyByte.repeated(64));
    EXPECT_EQ(link().replies().ReceiveBuffer(), "OK");
}

TEST_F(OpenLink, VanishingAdapterEndsOutputClosesThePortAndClearsTheCheck) {
    rig.serial.lineBytesPerSecond = 11520;
    rig.time.after(0.2, [this] { rig.serial.vanish(); });
    EXPECT_FALSE(link().replies().send(QByteArray(65536, 'A')));
    EXPECT_LT(rig.time.seconds(), 0.3);
    EXPECT_FALSE(link().MSComm1.PortOpen());
    EXPECT_EQ(rig.menu.checkedCount(), 0);
    EXPECT_FALSE(link().replies().send("X"));
}

// A port taken since the scan is named, and none is left open.
TEST_F(OpenLink, PickingAPortClosesTheOldAndOpensTheNew) {
    rig.serial.deliver("xyz");
    rig.time.advance(0.01);
    rig.form->portMenu.com_Click(5);
    EXPECT_FALSE(rig.menu.checked[1]);
    EXPECT_TRUE(rig.menu.checked[5]);
    EXPECT_EQ(rig.serial.openPath(), Rig::pathOf(5));
    EXPECT_TRUE(link().replies().ReceiveBuffer().isEmpty());

    link().replies().collect("stale");
    rig.form->portMenu.com_Click(5);  // the open port again: closed, reopened, emptied
    EXPECT_EQ(rig.serial.openLog().count(Rig::pathOf(5)), 3);  // probe, two picks
    EXPECT_TRUE(rig.menu.checked[5]);
    EXPECT_TRUE(link().replies().ReceiveBuffer().isEmpty());

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
    link().replies().warte(0.5);
    EXPECT_DOUBLE_EQ(rig.time.seconds() - start, 0.5);
    EXPECT_EQ(link().replies().ReceiveBuffer(), "UP");
    EXPECT_EQ(rig.timer1.ticks(), 5);
    EXPECT_LE(rig.time.waits() - waits, 7u);  // one wake-up per event, no polling

    const auto before = rig.time.waits();
    link().replies().warte(0);
    link().replies().warte(-1);
    EXPECT_EQ(rig.time.waits(), before);
    rig.display().StopElapsedClock();
    link().replies().warte(10);
    EXPECT_LE(rig.time.waits() - before, 2u);
}

// Every wait for the module: the reply at the start, the end or anywhere in what came, text
// that arrives in pieces, a reply too late or never, and a stop or a lost line that end the wait
// at once. Text that is no reply stays, or is thrown away after each look where asked.
TEST_F(OpenLink, ReplyWaiterWaitsForTheReplyUntilItsDeadline) {
    using Wait = ReplyWaiter::Wait;
    struct Row {
        const char* what;
        Expected expected;
        QList<std::pair<double, QByteArray>> arrivals;
        Wait result;
        double endsAt;
        QByteArray left;  // ReceiveBuffer afterwards
        ReplyWaiter::Unmatched unmatched = ReplyWaiter::Unmatched::Keep;
    };
    const Row rows[] = {
        {"in time", Expected::atEnd("OK"), {{1.5, "OK"}}, Wait::Reply, 1.5, "OK"},
        {"in pieces",
         Expected::anywhere({"W!K!"}),
         {{0.5, "W!"}, {0.7, "K!"}},
         Wait::Reply,
         0.7,
         "W!K!"},
        {"amid other text",
         Expected::anywhere({"E!", "R!"}),
         {{0.2, "xxR!yy"}},
         Wait::Reply,
         0.2,
         "xxR!yy"},
        {"not at the start", Expected::atStart("EN"), {{0.2, "xEN"}}, Wait::Late, 4.001, "xEN"},
        {"late", Expected::atEnd("OK"), {{4.01, "OK"}}, Wait::Late, 4.001, ""},
        {"never", Expected::atEnd("OK"), {}, Wait::Late, 4.001, ""},
        {"others thrown away",
         Expected::atStart("UP"),
         {{0.2, "xy"}, {0.4, "UP"}},
         Wait::Reply,
         0.4,
         "UP",
         ReplyWaiter::Unmatched::Discard},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        link().replies().discard();
        const double start = rig.time.seconds();
        for (const auto& [at, bytes] : row.arrivals)
            rig.serial.deliver(bytes, at);
        EXPECT_EQ(link().replies().waitFor(row.expected, start, 4.0, row.unmatched), row.result);
        EXPECT_NEAR(rig.time.seconds() - start, row.endsAt, 0.0015);
        EXPECT_EQ(link().replies().ReceiveBuffer(), row.left);
        rig.time.advance(1);
    }

    // A stop from outside, or a lost line, ends the wait when it happens.
    const double start = rig.time.seconds();
    rig.time.after(1.0, [this] { link().replies().stop(); });
    EXPECT_EQ(link().replies().waitFor(Expected::atEnd("OK"), start, 4.0), Wait::Stopped);
    EXPECT_NEAR(rig.time.seconds() - start, 1.0, 1e-9);
    EXPECT_FALSE(link().replies().sendExpecting("X"));
    link().replies().begin();
    rig.time.after(0.5, [this] { rig.serial.vanish(); });
    EXPECT_EQ(link().replies().waitFor(Expected::atEnd("OK"), start + 1, 4.0), Wait::LineLost);
    EXPECT_NEAR(rig.time.seconds() - start, 1.5, 1e-9);
}

// Emptying and sending are one step: a reply to what was sent before is never taken for the
// reply to what is sent now, and the reply to what is sent now is kept even when it comes before
// the driver reports the write done.
TEST_F(OpenLink, SendExpectingEmptiesTheBufferFirst) {
    rig.serial.deliver("K!");
    rig.time.advance(0.01);
    ASSERT_EQ(link().replies().ReceiveBuffer(), "K!");
    rig.serial.writeReportedLate = 0.05;
    rig.serial.deliver("R!", 0.01);
    ASSERT_TRUE(link().replies().sendExpecting("e\x01"));
    EXPECT_EQ(link().replies().ReceiveBuffer(), "R!");
    link().replies().discard();
    ASSERT_TRUE(link().replies().send("more"));
    rig.serial.deliver("K!");
    rig.time.advance(0.01);
    EXPECT_EQ(link().replies().ReceiveBuffer(), "K!");
    EXPECT_EQ(link().replies().bytesSent(), 6);
}

TEST(WireLog, RecordsBothWaysSixteenBytesALineAndCountsThem) {
    VirtualTime time;
    FakeSerialDevice device(time);
    device.presentPaths.insert("/dev/x");
    WireLog wire(device);
    QByteArray transcript;
    wire.onTranscript = [&transcript](const QByteArray& lines) { transcript += lines; };
    ASSERT_TRUE(wire.open("/dev/x", nullptr));
    ASSERT_TRUE(wire.write(QByteArray(16, 'X') + QByteArray("e\x05K!\xff", 5)));
    device.deliver("UP");
    time.advance(0.01);
    EXPECT_EQ(wire.readAll(), "UP");
    EXPECT_EQ(wire.bytesSent(), 21);
    EXPECT_EQ(wire.bytesReceived(), 2);

    const QList<QByteArray> lines = transcript.split('\n');
    ASSERT_EQ(lines.size(), 4);
    EXPECT_EQ(lines[0].mid(10),
              " TX  58 58 58 58 58 58 58 58 58 58 58 58 58 58 58 58  |XXXXXXXXXXXXXXXX|");
    EXPECT_EQ(lines[1].mid(10), " TX  65 05 4B 21 FF" + QByteArray(34, ' ') + " |e.K!.|");
    EXPECT_EQ(lines[2].mid(10), " RX  55 50" + QByteArray(43, ' ') + " |UP|");
}

}  // namespace
}  // namespace tarvel::test
