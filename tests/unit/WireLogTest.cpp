// The wire transcript: every byte both ways, in order, with its direction.
#include "serial/WireLog.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/VirtualTime.h"

#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

TEST(WireLog, LineShowsTimeDirectionHexAndPrintables) {
    EXPECT_EQ(transcriptLine(1205.1144, "TX", QByteArray("e\x05K!\xff", 5)),
              "  1205.114 TX  65 05 4B 21 FF" + QByteArray(48 - 14, ' ') + " |e.K!.|\n");
}

TEST(WireLog, RecordsBothWaysAndCountsTheBytes) {
    QTemporaryDir dir;
    VirtualTime time;
    FakeSerialDevice device(time);
    device.presentPaths.insert("/dev/x");
    WireLog wire(device);
    ASSERT_TRUE(wire.writeTranscriptTo(dir.filePath("t.txt"), nullptr));
    int signals_ = 0;
    wire.onReadyRead = [&] { ++signals_; };
    ASSERT_TRUE(wire.open("/dev/x", nullptr));
    ASSERT_TRUE(wire.write(QByteArray(20, 'X')));
    device.deliver("UP");
    time.advance(0.01);
    EXPECT_EQ(signals_, 1);
    EXPECT_EQ(wire.readAll(), "UP");
    EXPECT_EQ(wire.bytesSent(), 20);
    EXPECT_EQ(wire.bytesReceived(), 2);

    QFile file(dir.filePath("t.txt"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = file.readAll().split('\n');
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains(" TX  58 58") && lines[0].endsWith("|XXXXXXXXXXXXXXXX|"));
    EXPECT_TRUE(lines[1].contains(" TX  58 58 58 58 ") && lines[1].endsWith("|XXXX|"));
    EXPECT_TRUE(lines[2].contains(" RX  55 50 ") && lines[2].endsWith("|UP|"));
}

TEST(WireLog, UnwritableTranscriptIsReported) {
    VirtualTime time;
    FakeSerialDevice device(time);
    WireLog wire(device);
    QString error;
    EXPECT_FALSE(wire.writeTranscriptTo("/nonexistent/folder/t.txt", &error));
    EXPECT_FALSE(error.isEmpty());
}

}  // namespace
}  // namespace tarvel::test
