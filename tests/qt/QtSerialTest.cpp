// The real QSerialPort over a pseudo-terminal pair: bytes both ways, whole replies, reply
// latency, and a line that hangs up.
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtSerialDevice.h"
#include "serial/SerialLink.h"
#include "tests/qt/PseudoTerminal.h"
#include "tests/support/Fakes.h"

#include <QTimer>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct PtyLink : ::testing::Test {
    void SetUp() override {
        ASSERT_TRUE(pty.isValid());
        settings.values["Ports/COM1"] = pty.slavePath();
        for (int port = 2; port <= 9; ++port)
            settings.values[QStringLiteral("Ports/COM%1").arg(port)] = "/nonexistent/tty";
        link = std::make_unique<SerialLink>(device, clock, pump, menu, dialogs, settings);
        link->com_Click(1);
        ASSERT_TRUE(link->MSComm1.PortOpen());
    }
    // Processes events until the buffer holds count characters or the time is up.
    bool awaitBuffer(int count, double seconds) {
        const double end = clock.seconds() + seconds;
        while (link->ReceiveBuffer.size() < count && clock.seconds() < end)
            pump.waitForEvents(end - clock.seconds());
        return link->ReceiveBuffer.size() >= count;
    }

    PseudoTerminal pty;
    QtClock clock;
    QtEventPump pump;
    QtSerialDevice device;
    FakePortMenu menu;
    FakeDialogs dialogs;
    MemorySettingsStore settings;
    std::unique_ptr<SerialLink> link;
};

TEST_F(PtyLink, BytesTravelBothWaysUnchanged) {
    QByteArray binary("XXXXXXXXXXXX");
    binary += QByteArray("\x00\xff\x80\x0d\x0a", 5);
    ASSERT_TRUE(link->send(binary));
    EXPECT_EQ(pty.read(binary.size(), 2000), binary);

    const QByteArray reply("W!K!\x00\xff", 6);
    ASSERT_TRUE(pty.write(reply));
    ASSERT_TRUE(awaitBuffer(reply.size(), 2.0));
    EXPECT_EQ(link->ReceiveBuffer, reply);
}

TEST_F(PtyLink, SplitReplyArrivesWhole) {
    ASSERT_TRUE(pty.write("U"));
    link->warte(0.03);
    EXPECT_TRUE(link->ReceiveBuffer.isEmpty());
    ASSERT_TRUE(pty.write("P"));
    ASSERT_TRUE(awaitBuffer(2, 1.0));
    EXPECT_EQ(link->ReceiveBuffer, "UP");
}

TEST_F(PtyLink, ReplyReachesTheBufferWithinAFewMilliseconds) {
    QList<double> latencies;
    for (int round = 0; round < 20; ++round) {
        link->ReceiveBuffer.clear();
        double writtenAt = 0;
        QTimer::singleShot(5, [&] {
            writtenAt = clock.seconds();
            pty.write("K!");
        });
        ASSERT_TRUE(awaitBuffer(2, 2.0));
        latencies << clock.seconds() - writtenAt;
    }
    std::sort(latencies.begin(), latencies.end());
    const double median = latencies.at(latencies.size() / 2);
    RecordProperty("median_reply_latency_us", static_cast<int>(median * 1e6));
    std::printf("reply latency: median %.3f ms, worst %.3f ms\n", median * 1e3,
                latencies.last() * 1e3);
    EXPECT_LT(median, 0.005);
}

TEST_F(PtyLink, HangUpClosesThePortAndClearsTheCheck) {
    ASSERT_TRUE(menu.checked[1]);
    pty.closeMaster();
    const double end = clock.seconds() + 2.0;
    while (link->MSComm1.PortOpen() && clock.seconds() < end)
        pump.waitForEvents(0.05);
    EXPECT_FALSE(link->MSComm1.PortOpen());
    EXPECT_EQ(menu.checkedCount(), 0);
    EXPECT_FALSE(link->send("X"));
}

TEST(OpenFailure, EachReasonTellsTheTechnicianWhatToDo) {
    EXPECT_EQ(describeOpenFailure(OpenFailure::Missing, "/dev/ttyUSB0", {}),
              "/dev/ttyUSB0 does not exist (is the adapter plugged in?)");
    EXPECT_EQ(describeOpenFailure(OpenFailure::Busy, "/dev/ttyUSB0", {}),
              "/dev/ttyUSB0 is busy: another program holds it");
    EXPECT_EQ(describeOpenFailure(OpenFailure::NoPermission, "/dev/ttyUSB0", "dialout"),
              "no permission to use /dev/ttyUSB0: add the user to the group dialout (sudo "
              "adduser $USER dialout), then log in again");
}

TEST(OpenFailure, PortHeldByAnotherProgramIsBusy) {
    PseudoTerminal pty;
    QtSerialDevice first, second;
    ASSERT_TRUE(first.open(pty.slavePath(), nullptr));
    QString error;
    EXPECT_FALSE(second.open(pty.slavePath(), &error));
    EXPECT_EQ(error, pty.slavePath() + " is busy: another program holds it");
    EXPECT_FALSE(second.open("/dev/no-such-tty", &error));
    EXPECT_TRUE(error.contains("does not exist"));
}

}  // namespace
}  // namespace tarvel::test
