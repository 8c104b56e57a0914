// tarvel-update --json against tarvel-module-sim: every line a JSON object, the first the start,
// the last the outcome, however the run ends; and a data phase that no paced line can beat.
#include "tests/support/Programs.h"
#include "tests/support/Wire.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <memory>

namespace tarvel::test {
namespace {

struct JsonRun {
    explicit JsonRun(const QTemporaryDir& dir, const QString& name) : folder(dir.filePath(name)) {}
    void start(const QString& port, const QStringList& extra = {}) {
        startCli(cli, folder,
                 QStringList{"update", "--json", "--port", port, "--folder", folder} + extra);
    }
    // Every line, each of which must be a JSON object with its time and event.
    QList<QJsonObject> finish() {
        cli.waitForFinished(120000);
        QList<QJsonObject> lines;
        for (const QByteArray& line : cli.readAllStandardOutput().split('\n')) {
            if (line.isEmpty())
                continue;
            const QJsonDocument document = QJsonDocument::fromJson(line);
            EXPECT_TRUE(document.isObject()) << line.constData();
            EXPECT_TRUE(document.object().value("t").isDouble()) << line.constData();
            lines << document.object();
        }
        return lines;
    }
    QString folder;
    QProcess cli;
};

void expectStartAndOutcome(const QList<QJsonObject>& lines, const QString& word, int exitCode) {
    ASSERT_GE(lines.size(), 2);
    EXPECT_EQ(lines.first().value("event"), "start");
    EXPECT_EQ(lines.first().value("schema"), 2);
    EXPECT_EQ(lines.last().value("event"), "outcome");
    EXPECT_EQ(lines.last().value("word"), word);
    EXPECT_EQ(lines.last().value("exit_code"), exitCode);
    for (const QJsonObject& line : lines.mid(0, lines.size() - 1))
        EXPECT_NE(line.value("event"), "outcome");
}

// The data phase runs until the module's answer to its last byte, so on a line paced at 115200
// baud its share of the line rate stays at 100 % or below; the outcome, the summary of a text run
// and the log say the same. The four updates run side by side.
TEST(JsonStream, SuccessAndADataPhaseWithinTheLineRateForEachTransferAndSize) {
    QTemporaryDir dir;
    struct Row {
        QString image;
        QByteArray bytes;
        QStringList module;
    };
    const QByteArray sparse =
        ackImage(4, [](int sector, int block) { return sector == 0 || block == 63; });
    const Row rows[] = {
        {"DVB-GEN-1.bin", requestImage(1), {"--announce", "UP"}},
        {"DVB-GEN-4.bin", requestImage(4), {"--announce", "UP"}},
        {"DVB-SAT-1.bin",
         ackImage(1, [](int, int block) { return block < 40; }),
         {"--type", "DVBSAT"}},
        {"DVB-SAT-4.bin", sparse, {"--type", "DVBSAT"}},
    };
    std::vector<std::unique_ptr<SimulatorProcess>> modules;
    std::vector<std::unique_ptr<JsonRun>> runs;
    for (const Row& row : rows) {
        runs.push_back(std::make_unique<JsonRun>(dir, row.image));
        ASSERT_TRUE(writeFile(runs.back()->folder + "/" + row.image, row.bytes));
        modules.push_back(
            std::make_unique<SimulatorProcess>(row.module + QStringList{"--baud", "115200"}));
        runs.back()->start(modules.back()->path(), {"--timeout", "100"});
    }
    for (size_t i = 0; i < runs.size(); ++i) {
        SCOPED_TRACE(rows[i].image.toStdString());
        const QList<QJsonObject> lines = runs[i]->finish();
        expectStartAndOutcome(lines, "success", 0);
        // The success word's two languages are its lines, as every other status has them.
        const auto success = std::find_if(lines.begin(), lines.end(), [](const QJsonObject& line) {
            return line.value("word") == "Update Successful / Update erfolgreich";
        });
        ASSERT_NE(success, lines.end());
        EXPECT_EQ(success->value("english"), "Update Successful");
        EXPECT_EQ(success->value("german"), "Update erfolgreich");
        const QJsonObject outcome = lines.last();
        const double share = outcome.value("data_line_share").toDouble();
        // A loaded machine lowers the share (the pauses and round trips take longer), never raises
        // it: the upper bound is the line's, the lower one only catches a figure of nothing.
        EXPECT_LE(share, 100.0);
        EXPECT_GE(share, 50.0);
        const QByteArray log = readFile(outcome.value("log").toString());
        EXPECT_TRUE(log.contains(QStringLiteral("%1 % of the line rate (11520 bytes/s); reason "
                                                "completed: ")
                                     .arg(share, 0, 'f', 1)
                                     .toUtf8()))
            << log.right(200).constData();
    }
}

// However a run ends, its stream starts with "start" and ends with the outcome and its reason,
// and its times never go back: also for a port that cannot be opened and a refused command line.
TEST(JsonStream, ErrorTimeOutAndInterruptionEndWithTheirOutcome) {
    QTemporaryDir dir;
    struct Row {
        const char* name;
        const char* word;
        int exitCode;
        const char* reason;
        QStringList module;
        QStringList extra;
        bool interrupt = false;
        QString port;  // empty: the module's
    };
    const Row rows[] = {
        {"port lost",
         "error",
         1,
         "port-lost",
         {"--announce", "UP", "--hang-up-at", "2"},
         {},
         false,
         {}},
        {"time-out",
         "timeout",
         3,
         "switch-off",
         {"--announce", "UP", "--switch-off-rounds", "1000"},
         {"--timeout", "1"},
         false,
         {}},
        {"Ctrl+C", "interrupted", 130, "interrupted", {"--type", "DVBSAT"}, {}, true, {}},
        {"no such port", "refused", 2, "port-unavailable", {}, {}, false, "/nonexistent/tty"},
        {"refused", "refused", 2, "usage", {}, {"--timeout", "0"}, false, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        SimulatorProcess module(row.module.isEmpty() ? QStringList{"--announce", "UP"}
                                                     : row.module);
        JsonRun run(dir, row.name);
        ASSERT_TRUE(writeFile(run.folder + "/DVB-GEN-1.bin", requestImage(1)));
        run.start(row.port.isEmpty() ? module.path() : row.port, row.extra);
        if (row.interrupt) {
            ASSERT_TRUE(run.cli.waitForReadyRead(5000));  // the start line
            ::kill(static_cast<pid_t>(run.cli.processId()), SIGINT);
        }
        const QList<QJsonObject> lines = run.finish();
        expectStartAndOutcome(lines, row.word, row.exitCode);
        if (lines.isEmpty())
            continue;
        EXPECT_EQ(lines.last().value("reason_code"), row.reason);
        EXPECT_FALSE(lines.last().value("reason").toString().isEmpty());
        // Times never go back; a text is one line (a box's two languages joined by " / ").
        double t = 0;
        for (const QJsonObject& line : lines) {
            EXPECT_GE(line.value("t").toDouble(), t) << qPrintable(line.value("event").toString());
            t = line.value("t").toDouble();
            for (const QJsonValue value : line)
                EXPECT_FALSE(value.toString().contains(QRegularExpression("[\\x00-\\x1f]")))
                    << qPrintable(value.toString());
        }
        EXPECT_TRUE(row.reason != QLatin1String("port-lost") ||
                    std::any_of(lines.begin(), lines.end(), [](const QJsonObject& line) {
                        return line.value("text") == "Update error / Update Fehler";
                    }));
    }
}

}  // namespace
}  // namespace tarvel::test
