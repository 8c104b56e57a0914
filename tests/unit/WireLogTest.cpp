// The wire transcript: every byte both ways, in order, with its time and direction.
#include "serial/WireLog.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/VirtualTime.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

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
