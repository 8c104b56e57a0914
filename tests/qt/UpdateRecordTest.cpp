// The record of updates against a real SQLite file: one log per exchange with what the technician
// saw and what went over the wire, a history row per exchange, the old history.csv imported, the
// newest 100 logs kept. (Faults of whole processes are tried end to end, against the command
// line.)
#include "cli/ConsoleFrontEnd.h"
#include "cli/JsonStream.h"
#include "record/HistoryCsv.h"
#include "record/HistoryStore.h"
#include "record/UpdateRecord.h"
#include "session/UpdateSession.h"
#include "tests/support/Rig.h"
#include "tests/support/Wire.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdio>

namespace tarvel::test {
namespace {

QByteArray contents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

std::vector<HistoryRow> historyIn(const QString& folder) {
    HistoryStore history(folder);
    return history.open(false) ? history.rows({}).value_or(std::vector<HistoryRow>())
                               : std::vector<HistoryRow>();
}

ExchangeEnded endedWith(const char* word, qint64 bytesSent = 0, double seconds = 0) {
    ExchangeEnded ended;
    ended.outcome = *outcomeFromWord(QString::fromLatin1(word));
    ended.reason = {ReasonCode::Completed, "The module confirmed the end of the update."};
    ended.bytesSent = bytesSent;
    ended.seconds = seconds;
    return ended;
}

TEST(UpdateRecord, HoldsTheHeaderTheStatusTheWireAndTheOutcomeAndAHistoryRow) {
    QTemporaryDir state;
    const QString image = state.filePath("DVB-SAT \"new\", 2.bin");  // a name that needs quotes
    UpdateRecord log(state.path(), "V1.0.0");
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
    log.exchangeEnded(endedWith("success", 2, 0.4));
    ASSERT_EQ(log.waitUntilWritten(5000), "");

    const QString name = QFileInfo(log.lastLog()).fileName();
    EXPECT_TRUE(
        name.contains(QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d-\\d\\d-\\d\\d_COM1\\.log$")))
        << qPrintable(name);
    const QList<QByteArray> lines = contents(log.lastLog()).split('\n');
    ASSERT_EQ(lines.size(), 13);  // and the empty rest after the last line break
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
    EXPECT_EQ(lines[11],
              "Outcome: success after 0.4 s, 2 bytes sent; reason completed: The module confirmed "
              "the end of the update.");

    const std::vector<HistoryRow> rows = historyIn(state.path());
    ASSERT_EQ(rows.size(), 1u);
    const QRegularExpression row(
        "^(\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d[+-]\\d\\d:\\d\\d),\\1?[^,]*,COM1,/dev/ttyUSB0,"
        "DVBSAT,\"[^\"]*/DVB-SAT \"\"new\"\", 2\\.bin\",3,ba7816bf[0-9a-f]{56},2,0\\.4,success,"
        "[^,]*_COM1\\.log,completed,The module confirmed the end of the update\\.,,,\\r\\n$");
    EXPECT_TRUE(historyCsvLine(rows[0]).contains(row)) << qPrintable(historyCsvLine(rows[0]));
    EXPECT_EQ(rows[0].kind, "update");
}

// Two exchanges in the same second on the same port name each keep a log of their own.
// A warning that the event loop would tell after the program has stopped listening: what
// finish() says carries it, once.
TEST(UpdateRecord, AWarningNotToldByTheEndComesWithWhatFinishSays) {
    QTemporaryDir dir;
    const QString folder = dir.filePath("state");
    QFile file(folder);  // where the record's folder should be
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    UpdateRecord log(folder, "V1.0.0");
    QStringList told;
    log.onWarning = [&told](const QString& warning) { told << warning; };
    log.exchangeStarted({0, ExchangeKind::Update, "COM1", "/dev/ttyUSB0", {}});
    log.exchangeEnded(endedWith("success"));
    const QString said = log.finish(5000);
    QCoreApplication::processEvents();
    EXPECT_EQ(said, "The update record cannot be written (" + folder +
                        "/logs: Not a directory); updates go on without it.");
    EXPECT_EQ(told, QStringList());
}

TEST(UpdateRecord, RunsOnOnePortInOneSecondKeepALogEach) {
    QTemporaryDir state;
    UpdateRecord first(state.path(), "V1.0.0"), second(state.path(), "V1.0.0");
    first.exchangeStarted({0, ExchangeKind::CommunicationTest, "COM1", "/dev/ttyS0", {}});
    second.exchangeStarted({0, ExchangeKind::CommunicationTest, "COM1", "/dev/ttyS1", {}});
    EXPECT_NE(first.lastLog(), second.lastLog());
    first.exchangeEnded(endedWith("error"));
    ASSERT_EQ(first.waitUntilWritten(5000) + second.waitUntilWritten(5000), "");
    EXPECT_TRUE(contents(second.lastLog()).contains("Port: COM1 (/dev/ttyS1)\n"));
    const std::vector<HistoryRow> rows = historyIn(state.path());
    ASSERT_EQ(rows.size(), 2u);
    // Each writer puts its row in when it gets to it: which comes first is open.
    QStringList outcomes{rows[0].outcome, rows[1].outcome};
    outcomes.sort();
    EXPECT_EQ(outcomes, (QStringList{"error", "running"}));
    EXPECT_EQ(rows[1].kind, "comtest");
}

// What the console, the JSON stream and the record say of an update does not depend on the order
// they listen in: each takes what it needs from the events themselves.
TEST(UpdateRecord, ListenersInEitherOrderTellTheSame) {
    QStringList outputs[2];
    for (const bool reversed : {false, true}) {
        ModuleRig rig(announcingModule());
        rig.useImage("DVB-GEN-1.bin", requestImage(1));
        QTemporaryDir state;
        UpdateRecord log(state.path(), "V1.0.0");
        log.onLogOpened = [&rig](const QString& path) { rig.session().logOpened(path); };
        char* consoleText = nullptr;
        char* jsonText = nullptr;
        size_t consoleSize = 0, jsonSize = 0;
        std::FILE* consoleOut = open_memstream(&consoleText, &consoleSize);
        std::FILE* jsonOut = open_memstream(&jsonText, &jsonSize);
        {
            ConsoleListener console(consoleOut, false);
            JsonStream json(jsonOut, "1.0.0");
            std::vector<ExchangeListener*> listeners{&log, &console, &json};
            if (reversed)
                std::reverse(listeners.begin(), listeners.end());
            for (ExchangeListener* listener : listeners)
                rig.session().subscribe(*listener);
            ASSERT_EQ(rig.session().runUpdate(), EngineOutcome::Success);
            for (ExchangeListener* listener : listeners)
                rig.session().unsubscribe(*listener);
        }
        std::fclose(consoleOut);
        std::fclose(jsonOut);
        ASSERT_EQ(log.waitUntilWritten(5000), "");
        // The state folder and the moment the log was started differ from run to run.
        const auto sameEverywhere = [&state](QString text) {
            return text.replace(state.path(), "STATE")
                .replace(QRegularExpression("\\d{4}-\\d\\d-\\d\\dT[0-9:+-]+"), "WHEN");
        };
        outputs[reversed] << QString::fromUtf8(consoleText) << sameEverywhere(jsonText)
                          << sameEverywhere(contents(log.lastLog()));
        std::free(consoleText);
        std::free(jsonText);
    }
    EXPECT_EQ(outputs[0], outputs[1]);
    EXPECT_TRUE(outputs[0][0].contains("Summary: image DVB-GEN-1.bin, module UP, 65551 bytes"));
    EXPECT_TRUE(outputs[0][1].contains("\"log\":\"STATE/logs/WHEN_COM1.log\",\"reason\":"))
        << qPrintable(outputs[0][1]);
    EXPECT_TRUE(outputs[0][2].contains("\nOutcome: success after "));
}

// Every outcome as stored and as exported; a refused image never reads as a missing one.
TEST(UpdateRecord, EachOutcomeIsStoredAndExportedAsItsWord) {
    const std::pair<const char*, std::optional<EngineOutcome>> words[] = {
        {"success", EngineOutcome::Success},
        {"error", EngineOutcome::Error},
        {"no-image", EngineOutcome::NoImage},
        {"refused", EngineOutcome::Refused},
        {"cancelled", EngineOutcome::Cancelled},
        {"timeout", {}},
        {"interrupted", {}},
        {"unfinished", {}}};
    for (const auto& [word, outcome] : words) {
        QTemporaryDir state;
        if (outcome) {
            EXPECT_EQ(outcomeWord(outcomeOf(*outcome)), word);
        }
        if (QLatin1String(word) == "unfinished") {  // its process died before it ended
            HistoryStore history(state.path());
            ASSERT_TRUE(history.open());
            ProcessIdentity dead = ProcessIdentity::current();
            dead.started = "0";
            HistoryRow running;
            running.kind = "update";
            running.started = "2026-12-06T14:02:11+01:00";
            running.port = running.device = "COM1";
            running.outcome = "running";
            running.log = "x.log";
            history.add(running, dead);
        } else {
            UpdateRecord log(state.path(), "V1.0.0");
            log.exchangeStarted({0, ExchangeKind::Update, "COM1", "/dev/ttyS0", {}});
            log.exchangeEnded(endedWith(word));
            ASSERT_EQ(log.waitUntilWritten(5000), "");
        }
        const std::vector<HistoryRow> rows = historyIn(state.path());
        ASSERT_EQ(rows.size(), 1u) << word;
        EXPECT_EQ(rows[0].outcome, word);
        EXPECT_TRUE(
            historyCsvLine(rows[0]).contains(QStringLiteral(",%1,%2,").arg(word, rows[0].log)))
            << qPrintable(historyCsvLine(rows[0]));
    }
}

// The old file, imported once: every good record as it was (quoted fields and all), each bad one
// left out and named with its line and cause; a file that is no text, or mostly bad records, is
// left as it is. A second start imports nothing again.
TEST(UpdateRecord, AnOldHistoryCsvIsImportedOnceWithItsBadRecordsNamed) {
    const QByteArray header =
        "started,finished,port,device,module,image,image_size,image_sha256,bytes_sent,"
        "duration_s,outcome,log\r\n";
    const QByteArray good[] = {
        "2026-01-05T09:00:00+01:00,2026-01-05T09:00:25+01:00,COM1,/dev/ttyS0,DVBSAT,"
        "\"/img/DVB-SAT, \"\"new\"\".bin\",262208,1eb6,98710,25.3,success,/old/a.log\r\n",
        "2026-01-05T10:00:00+01:00,2026-01-05T10:00:01+01:00,\"COM\n2\",/dev/ttyS1,UP,,,,12,1.2,"
        "no-image,/old/b.log\r\n",
        "2026-01-05T12:00:00+01:00,,COM3,/dev/ttyS2,UP,,,,0,0.5,error,/old/c.log\r\n"};
    const QByteArray fieldMissing =
        "2026-01-05T11:00:00+01:00,,COM1,/dev/ttyS0,UP,,,,12,1.2,error\r\n";
    const QByteArray badStart = "yesterday,,COM1,/dev/ttyS0,UP,,,,12,1.2,error,/old/d.log\r\n";
    const QByteArray badOutcome =
        "2026-01-05T11:00:00+01:00,,COM1,/dev/ttyS0,UP,,,,12,1.2,ok,x\r\n";
    const QByteArray unclosed = "2026-01-05T11:30:00+01:00,,COM1,/dev/ttyS0,UP,\"/img/x.bin,1,";
    QByteArray noise;
    for (int n = 0; n < 4096; ++n)
        noise += char(n * 7919 % 251);
    struct Row {
        const char* what;
        QByteArray file;
        std::vector<QByteArray> imported;  // newest first
        QString warning;                   // PATH: the old file
    };
    const Row rows[] = {
        {"good records and a second header",
         header + good[0] + header + good[1],
         {good[1], good[0]},
         {}},
        {"two bad of five",
         header + good[0] + fieldMissing + good[1] + badStart + good[2],
         {good[2], good[1], good[0]},
         "PATH: 2 of its 5 records were not imported (line 3: 11 fields, not 12; line 6: its "
         "start \"yesterday\" is no time). It is kept as PATH.imported."},
        {"mostly bad, with a quote never closed",
         header + good[0] + badOutcome + unclosed + good[2],
         {},
         "PATH was not imported: 2 of its 3 records are bad (line 3: its outcome \"ok\" is none "
         "of this program's; lines 4 to 5: a quote that is never closed). It is left as it is."},
        {"no text", noise, {}, "PATH was not imported: it is not text. It is left as it is."},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        QTemporaryDir state;
        const QString old = state.filePath("history.csv");
        QFile file(old);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(row.file) == row.file.size());
        file.close();
        for (int start = 0; start < 2; ++start) {
            HistoryStore history(state.path());
            ASSERT_TRUE(history.open());
            EXPECT_EQ(history.importWarning(),
                      start == 0 ? QString(row.warning).replace("PATH", old) : QString());
            const std::vector<HistoryRow> imported = history.rows({}).value();
            ASSERT_EQ(imported.size(), row.imported.size());
            // The export's line: the old file's fields, then no reason, which it did not know.
            for (size_t n = 0; n < imported.size(); ++n)
                EXPECT_EQ(historyCsvLine(imported[n]).toUtf8(),
                          row.imported[n].chopped(2) + ",,,,,\r\n");
        }
        EXPECT_EQ(contents(row.imported.empty() ? old : old + ".imported"), row.file);
        EXPECT_FALSE(QFile::exists(row.imported.empty() ? old + ".imported" : old));
    }
}

// The export quotes a field for each character that needs it, each on its own, and the import
// reads it back.
TEST(UpdateRecord, EachCharacterThatNeedsQuotesIsQuotedOnItsOwn) {
    const std::pair<QString, QString> fields[] = {{"a,b", "\"a,b\""},
                                                  {"a\"b", "\"a\"\"b\""},
                                                  {"a\rb", "\"a\rb\""},
                                                  {"a\nb", "\"a\nb\""},
                                                  {"a b;c", "a b;c"}};
    for (const auto& [image, field] : fields) {
        HistoryRow row;
        row.started = "2026-01-05T09:00:00+01:00";
        row.image = image;
        row.outcome = "success";
        const QString line = historyCsvLine(row);
        EXPECT_EQ(line, "2026-01-05T09:00:00+01:00,,,,," + field + ",,,0,0.0,success,,,,,,\r\n");
        const HistoryCsvImport read = readHistoryCsv(line.toUtf8());
        ASSERT_EQ(read.rows.size(), 1u) << qPrintable(read.bad.join(';'));
        EXPECT_EQ(read.rows[0].image, image);
    }
}

// A reason or name that a spreadsheet would run as a formula (from another station's row, say)
// is exported as text: a ' before it, the cell quoted; the window's Export writes the same cells.
TEST(UpdateRecord, ACellASpreadsheetWouldRunIsExportedAsText) {
    const std::pair<QString, QString> fields[] = {
        {"=HYPERLINK(\"http://x.example/\",\"Click\")",
         "\"'=HYPERLINK(\"\"http://x.example/\"\",\"\"Click\"\")\""},
        {"+1+1", "\"'+1+1\""},
        {"-2+3", "\"'-2+3\""},
        {"@SUM(A1:A9)", "\"'@SUM(A1:A9)\""},
        {"\t=1", "\"'\t=1\""},
        {"\r=1", "\"'\r=1\""},
        {"DVB-GEN-2.bin = new", "DVB-GEN-2.bin = new"},
    };
    for (const auto& [reason, field] : fields) {
        HistoryRow row;
        row.started = "2026-01-05T09:00:00+01:00";
        row.outcome = "error";
        row.reason = reason;
        EXPECT_EQ(historyCsvLine(row),
                  "2026-01-05T09:00:00+01:00,,,,,,,,0,0.0,error,,," + field + ",,,\r\n");
        EXPECT_EQ(csvLine({reason}), field + "\r\n");
    }
}

// Pruning goes by the history alone: 150 logs dated later than the clock, a running exchange's
// log, a technician's notes.
TEST(UpdateRecord, KeepsTheNewestHundredLogsOfTheHistoryAndNothingElse) {
    QTemporaryDir state;
    QDir().mkpath(state.filePath("logs"));
    QFile(state.filePath("logs/NOTES.log")).open(QIODevice::WriteOnly);
    {
        HistoryStore history(state.path());
        ASSERT_TRUE(history.open());
        for (int n = 0; n <= 150; ++n) {
            const QString log = state.filePath(QStringLiteral("logs/2099-01-01_%1.log").arg(n));
            QFile(log).open(QIODevice::WriteOnly);
            HistoryRow row;
            row.kind = "update";
            row.started =
                QStringLiteral("2099-01-01T00:00:%1+00:00").arg(n % 60, 2, 10, QChar('0'));
            row.port = row.device = "COM1";
            row.outcome = n == 0 ? "running" : "success";  // 0: still under way
            row.log = log;
            history.add(row, ProcessIdentity::current());
        }
    }
    UpdateRecord log(state.path(), "V1.0.0");
    log.exchangeStarted({0, ExchangeKind::Update, "COM2", "/dev/ttyS1", {}});
    ASSERT_EQ(log.waitUntilWritten(5000), "");
    EXPECT_TRUE(QFile::exists(log.lastLog()));
    EXPECT_TRUE(QFile::exists(state.filePath("logs/NOTES.log")));
    EXPECT_TRUE(QFile::exists(state.filePath("logs/2099-01-01_0.log")));
    EXPECT_FALSE(QFile::exists(state.filePath("logs/2099-01-01_1.log")));
    EXPECT_TRUE(QFile::exists(state.filePath("logs/2099-01-01_52.log")));
    EXPECT_EQ(QDir(state.filePath("logs")).entryList(QDir::Files).size(), 103);
}

}  // namespace
}  // namespace tarvel::test
