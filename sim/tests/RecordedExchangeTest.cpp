// Reading a recorded exchange for the replay: what the host sent and what the module answered
// when, from an update log or a wire transcript; anything else refused with its line.
#include "sim/RecordedExchange.h"
#include "status/ProgramVersion.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// "host HEX (lines ...); after N, write of W, +D ms: HEX; ..."
QString describe(const sim::RecordedExchange& exchange) {
    QStringList lines;
    for (const sim::HostLine& line : exchange.hostLines)
        lines << QString::number(line.lineNumber);
    QString text =
        QStringLiteral("host %1 (lines %2)")
            .arg(QString::fromLatin1(exchange.hostBytes.toHex(' ').toUpper()), lines.join(' '));
    for (const sim::ModuleAnswer& answer : exchange.answers)
        text += QStringLiteral("; after %1, write of %2, +%3 ms: %4")
                    .arg(answer.after)
                    .arg(answer.lastWriteSize)
                    .arg(answer.delay * 1000, 0, 'f', 3)
                    .arg(QString::fromLatin1(answer.bytes.toHex(' ').toUpper()));
    return text;
}

TEST(RecordedExchange, ReadsLogsAndTranscriptsAndRefusesTheRestByLine) {
    const QByteArray log =
        "Tarvel Update Utility V1.0.0, update\n"
        "Started: 2026-12-06T21:20:47+00:00\n"
        "Port: /dev/pts/0\n"
        "     0.636 ST  Checking | Checking module type for update, please wait | Prüfe\n"
        "     9.639 TX  58 58 58 58 58 58 58 58 58 58 58 58              |XXXXXXXXXXXX|\n"
        "    15.096 RX  55 50                                            |UP|\n"
        "Module: UP\n"
        "Image: /tmp/DVB-GEN-1.bin, 65536 bytes, SHA-256 fdc9abd2\n"
        "  1203.581 AC  Waiting for request...\n"
        "  1212.541 TX  4F 4B 01                                         |OK.|\n"
        "  7213.778 TX  4F 4B 01                                         |OK.|\n"
        "  7219.142 RX  4F 4B                                            |OK|\n"
        "  8211.346 TX  00 07 0E 15 1C 23 2A 31 38 3F 46 4D 54 5B 62 69  |.....#*18?FMT[bi|\n"
        "  8211.346 TX  70 77                                            |pw|\n"
        "  8261.346 RX  45 4E                                            |EN|\n"
        "Outcome: success after 13.3 s, 36 bytes sent\n";
    const QByteArray transcript =
        "    12.000 RX  55 50                                            |UP|\n"
        "    20.000 TX  4F 4B 01                                         |OK.|\n"
        "    25.500 RX  4F 4B                                            |OK|\n"
        "    25.500 RX  21                                               |!|\r\n"
        "    30.000 --  line failed: the device was removed\n";
    const QByteArray header = "Tarvel Update Utility V1.0.0, update\n";
    const struct {
        const char* what;
        QByteArray text;
        QString expected;  // the exchange described, or the refusal
    } rows[] = {
        {"an update log", log,
         "host 58 58 58 58 58 58 58 58 58 58 58 58 4F 4B 01 4F 4B 01 00 07 0E 15 1C 23 2A 31 38 "
         "3F 46 4D 54 5B 62 69 70 77 (lines 5 10 11 13 14); "
         "after 12, write of 12, +5.457 ms: 55 50; after 18, write of 3, +5.364 ms: 4F 4B; "
         "after 36, write of 18, +50.000 ms: 45 4E"},
        {"a wire transcript", transcript,
         "host 4F 4B 01 (lines 2); after 0, write of 0, +12.000 ms: 55 50; "
         "after 3, write of 3, +5.500 ms: 4F 4B 21"},
        {"neither", "hello\n", "line 1: neither an update log nor a wire transcript"},
        {"nothing", "", "line 1: neither an update log nor a wire transcript"},
        {"a line a log does not have", header + "Started: now\nrubbish\n",
         "line 3: not a line of an update log"},
        {"a log of a newer program", "Tarvel Update Utility V9.0.0, update\n",
         "line 1: a log of version V9.0.0, which this simulator does not know (it reads those of "
         "V" TARVEL_VERSION " and before)"},
        {"a log of no known program", "Tarvel Update Utility 1.0, update\n",
         "line 1: not the first line of an update log"},
        {"a status line in a transcript",
         transcript.left(transcript.indexOf('\n') + 1) + "    21.000 ST  Running\n",
         "line 2: not a line of a wire transcript"},
        {"a line cut in its text", header + "    20.000 TX  58 58 " + QByteArray(42, ' ') + " |X",
         "line 2: cut short"},
        {"a line cut in its time", header + "    20.00", "line 2: cut short"},
        {"hex that does not parse",
         "    20.000 TX  58 ZZ                                            |XX|\n",
         "line 1: 'ZZ' is not a byte in hex"},
        // A field shown in a message is shown as text: its escape codes reach no terminal.
        {"hex with escape codes", "    20.000 TX  58 \x1b]" + QByteArray(44, ' ') + "|XX|\n",
         "line 1: '\\x1b]' is not a byte in hex"},
        {"a time with escape codes", header + "  1\x1b[31m2 TX  58" + QByteArray(47, ' ') + "|X|\n",
         "line 2: '1\\x1b[31m2' is not a time"},
        // A time that no timer can wait.
        {"a time that is no number", header + "       nan TX  58" + QByteArray(47, ' ') + "|X|\n",
         "line 2: 'nan' is not a time"},
        {"an infinite time", header + "       inf TX  58" + QByteArray(47, ' ') + "|X|\n",
         "line 2: 'inf' is not a time"},
        {"a time beyond any exchange", header + "     1e308 TX  58" + QByteArray(47, ' ') + "|X|\n",
         "line 2: '1e308' is not a time"},
        {"a time before the start", header + "    -1.000 TX  58" + QByteArray(47, ' ') + "|X|\n",
         "line 2: '-1.000' is not a time"},
    };
    for (const auto& row : rows) {
        QString error;
        const auto exchange = sim::parseRecordedExchange(row.text, &error);
        EXPECT_EQ(exchange ? describe(*exchange) : error, row.expected) << row.what;
    }
}

}  // namespace
}  // namespace tarvel::test
