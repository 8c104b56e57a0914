// The record of updates: one log per exchange with what the technician saw and what went over
// the wire, a history row per update, the newest 100 logs kept. (A record that cannot be written
// is tried end to end, against the command line.)
#include "record/UpdateLog.h"
#include "tests/support/Wire.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

TEST(UpdateLog, HoldsTheHeaderTheStatusTheWireAndTheOutcomeAndAHistoryRow) {
    QTemporaryDir state;
    const QString image = state.filePath("DVB-SAT \"new\", 2.bin");  // a name that needs quotes
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("abc") == 3 && file.flush());
    UpdateLog log(state.path(), "V1.0.0");
    log.exchangeStarted({0, ExchangeKind::Update, "COM1", "/dev/ttyUSB0", 16});
    log.statusChanged({0.001, "Running", "Update in progress, please wait",
                       "Update wird ausgeführt, bitte warten", 0x0000FF});
    log.activityChanged({0.002, "Sending Sector 19   Block 0"});
    log.activityChanged({0.003, ""});  // a cleared line is no news
    log.moduleIdentified({0.004, "DVBSAT"});
    log.imageChosen({0.005, image, 3,
                     "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad",
                     "/etc/tarvel-update-utility/SHA256SUMS"});
    log.notice(
        {0.0055, Notice::Kind::Warning, "DVB-SAT-3.bin passed over: not on the approved list"});
    log.wireBytes({0.006, Direction::Tx, QByteArray("e\x00", 2)});
    log.wireBytes({0.007, Direction::Rx, "K!"});
    ExchangeEnded ended;
    ended.word = "success";
    ended.bytesSent = 2;
    ended.seconds = 0.4;
    log.exchangeEnded(ended);

    const QString name = QFileInfo(log.lastLog()).fileName();
    EXPECT_TRUE(
        name.contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d_COM1\\.log$")))
        << qPrintable(name);
    const QList<QByteArray> lines = contents(log.lastLog()).split('\n');
    ASSERT_GE(lines.size(), 11);
    EXPECT_EQ(lines[0], "Tarvel Update Utility V1.0.0, update");
    EXPECT_TRUE(lines[1].startsWith("Started: 20"));
    EXPECT_EQ(lines[2], "Port: COM1 (/dev/ttyUSB0)");
    EXPECT_EQ(lines[3], "Adapter latency timer: 16 ms");
    EXPECT_EQ(lines[4],
              "     1.000 ST  Running | Update in progress, please wait | Update wird "
              "ausgeführt, bitte warten");
    EXPECT_EQ(lines[5], "     2.000 AC  Sending Sector 19   Block 0");
    EXPECT_EQ(lines[6], "Module: DVBSAT");
    EXPECT_EQ(lines[7], "Image: " + image.toUtf8() +
                            ", 3 bytes, SHA-256 "
                            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad, "
                            "approved by /etc/tarvel-update-utility/SHA256SUMS");
    EXPECT_EQ(lines[8], "     5.500 NT  DVB-SAT-3.bin passed over: not on the approved list");
    EXPECT_EQ(lines[9], "     6.000 TX  65 00" + QByteArray(43, ' ') + " |e.|");
    EXPECT_EQ(lines[10], "     7.000 RX  4B 21" + QByteArray(43, ' ') + " |K!|");
    EXPECT_EQ(lines[11], "Outcome: success after 0.4 s, 2 bytes sent");

    const QList<QByteArray> history = contents(state.filePath("history.csv")).split('\n');
    EXPECT_EQ(history[0],
              "started,finished,port,device,module,image,image_size,image_sha256,"
              "bytes_sent,duration_s,outcome,log\r");
    const QRegularExpression row(
        "^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d),\\1?[^,]*,COM1,/dev/ttyUSB0,"
        "DVBSAT,\"[^\"]*/DVB-SAT \"\"new\"\", 2\\.bin\",3,ba7816bf[0-9a-f]{56},2,0\\.4,success,"
        "[^,]*_COM1\\.log\\r$");
    EXPECT_TRUE(QString::fromUtf8(history.value(1)).contains(row)) << history.value(1).constData();
}

TEST(UpdateLog, KeepsTheNewestHundredLogsAndTestsLeaveNoHistoryRow) {
    QTemporaryDir state;
    QDir().mkpath(state.filePath("logs"));
    for (int day = 1; day <= 105; ++day)
        QFile(state.filePath(
                  QStringLiteral("logs/2020-01-%1T00-00-00_COM1.log").arg(day, 3, 10, QChar('0'))))
            .open(QIODevice::WriteOnly);
    UpdateLog log(state.path(), "V1.0.0");
    log.exchangeStarted({0, ExchangeKind::CommunicationTest, "COM2", "/dev/ttyS1", {}});
    ExchangeEnded ended;
    ended.kind = ExchangeKind::CommunicationTest;
    ended.word = "error";
    log.exchangeEnded(ended);
    const QStringList kept = QDir(state.filePath("logs")).entryList(QDir::Files, QDir::Name);
    EXPECT_EQ(kept.size(), 100);
    EXPECT_EQ(kept.first(), "2020-01-007T00-00-00_COM1.log");
    EXPECT_EQ(kept.last(), QFileInfo(log.lastLog()).fileName());
    EXPECT_FALSE(QFile::exists(state.filePath("history.csv")));
}

}  // namespace
}  // namespace tarvel::test
