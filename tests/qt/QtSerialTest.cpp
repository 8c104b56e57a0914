// The real QSerialPort over a pseudo-terminal: bytes both ways, whole replies, how soon a reply
// is seen, a line that hangs up, and why a port cannot be opened.
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtSerialDevice.h"
#include "serial/SerialLink.h"
#include "sim/PtyLine.h"
#include "tests/support/Fakes.h"
#include "tests/support/Wire.h"

#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct PtyLink : ::testing::Test {
    void SetUp() override {
        QString error;
        // By a name of its own: the pseudo-terminal's number is another test's once it is closed.
        line.setLink(names.filePath("module"));
        ASSERT_TRUE(line.open(&error)) << qPrintable(error);
        line.received = [this](const QByteArray& bytes) { heard += bytes; };
        settings.values["Ports/COM1"] = line.slavePath();
        link = std::make_unique<SerialLink>(device, clock, pump, dialogs, settings);
        link->openPort(PortChoice::com(1));
        ASSERT_TRUE(link->MSComm1.PortOpen());
    }
    // Processes events until the condition holds or the time is up.
    bool await(const std::function<bool()>& condition, double seconds = 2.0) {
        const double end = clock.seconds() + seconds;
        while (!condition() && clock.seconds() < end)
            pump.waitForEvents(end - clock.seconds());
        return condition();
    }

    QTemporaryDir names;
    sim::PtyLine line{0};
    QByteArray heard;  // what the module's end received
    QtClock clock;
    QtEventPump pump;
    QtSerialDevice device;
    FakeDialogs dialogs;
    MemorySettingsStore settings;
    std::unique_ptr<SerialLink> link;
};

TEST_F(PtyLink, EveryByteValueTravelsBothWaysUnchanged) {
    const QByteArray everyByte = everyByteValue();
    ASSERT_TRUE(link->replies().send(everyByte));
    ASSERT_TRUE(await([&] { return heard.size() >= 256; }));
    EXPECT_EQ(heard, everyByte);
    line.write(everyByte);
    ASSERT_TRUE(await([&] { return link->replies().ReceiveBuffer().size() >= 256; }));
    EXPECT_EQ(link->replies().ReceiveBuffer(), everyByte);
}

// A wait sleeps on the event loop and wakes with the reply: its latency is a fraction of a
// millisecond on an idle machine (bench/run measures it). The bound here is one that no load
// breaks, and that a polling wait or a thread held up by other work would.
TEST_F(PtyLink, ReplyEndsTheWaitAtOnce) {
    QList<double> latencies;
    for (int round = 0; round < 20; ++round) {
        link->replies().discard();
        double writtenAt = 0;
        QTimer::singleShot(5, [&] {
            writtenAt = clock.seconds();
            line.write("K!");
        });
        ASSERT_EQ(link->replies().waitFor(Expected::anywhere({"K!"}), clock.seconds(), 2.0),
                  ReplyWaiter::Wait::Reply);
        latencies << clock.seconds() - writtenAt;
    }
    std::sort(latencies.begin(), latencies.end());
    EXPECT_LT(latencies[10], 0.05);
}

TEST_F(PtyLink, HangUpClosesThePortAndSaysSo) {
    bool told = false;
    link->onPortLost = [&told](const QString&) { told = true; };
    line.close();
    EXPECT_TRUE(await([&] { return !link->MSComm1.PortOpen(); }));
    EXPECT_TRUE(told);
    EXPECT_FALSE(link->replies().send("X"));
}

// (A missing device and one that is no serial device: the command line's refusals.)
TEST(OpenFailure, EachReasonTellsTheTechnicianWhatToDo) {
    sim::PtyLine line(0);
    QString error;
    ASSERT_TRUE(line.open(&error));
    QtSerialDevice first, second;
    ASSERT_TRUE(first.open(line.slavePath(), nullptr));
    EXPECT_FALSE(second.open(line.slavePath(), &error));
    EXPECT_EQ(error, line.slavePath() + " is busy: another program holds it");
    EXPECT_EQ(describeOpenFailure(OpenFailure::NoPermission, "/dev/ttyUSB0", "dialout"),
              "no permission to use /dev/ttyUSB0: add the user to the group dialout (sudo "
              "adduser $USER dialout), then log in again");
}

}  // namespace
}  // namespace tarvel::test
