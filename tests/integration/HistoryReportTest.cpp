#include "central/CentralHistory.h"
#include "cli/ReportHtml.h"
#include "cli/ReportOutput.h"
#include "record/HistoryReport.h"
#include "record/HistoryStore.h"
#include "tests/support/PostgresServer.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QXmlStreamReader>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// One exchange of a history: its start (day and hour), station, module, outcome, reason code
// and duration.
struct Made {
    const char *started, *station, *module, *outcome, *code;
    double seconds;
    const char* kind = "update";
};

// Station a: four successes (10, 20, 30, 40 s), two time-outs, a lost port and one still under
// way, on two days; station b: one success and a row of an older program without a reason code.
const Made kRows[] = {
    {"2026-12-01T08:10:00+01:00", "a", "SAT", "success", "completed", 10},
    {"2026-12-01T08:20:00+01:00", "a", "SAT", "success", "completed", 40},
    {"2026-12-01T09:05:00+01:00", "a", "SAT", "timeout", "timeout", 60},
    {"2026-12-01T09:06:00+01:00", "a", "TER", "timeout", "timeout", 60},
    {"2026-12-02T07:00:00+01:00", "a", "TER", "success", "completed", 30},
    {"2026-12-02T07:30:00+01:00", "a", "TER", "success", "completed", 20},
    {"2026-12-02T07:45:00+01:00", "a", "SAT", "error", "port-lost", 5},
    {"2026-12-02T07:50:00+01:00", "a", "SAT", "running", "", 2},
    {"2026-12-02T08:00:00+01:00", "b", "SAT", "success", "completed", 15},
    {"2026-12-02T08:30:00+01:00", "b", "SAT", "unfinished", "", 3},
    {"2026-12-02T08:40:00+01:00", "b", "SAT", "error", "no-answer", 0, "comtest"},
};

bool add(HistoryStore& history, const Made& made) {
    HistoryRow row;
    row.kind = made.kind;
    row.started = made.started;
    row.station = made.station;
    row.module = made.module;
    row.port = QStringLiteral("COM1");
    row.image = QStringLiteral("/srv/DVB-%1-2.bin").arg(made.module);
    row.outcome = made.outcome;
    row.reasonCode = made.code;
    row.reason = QStringLiteral("why %1").arg(made.code);
    row.seconds = made.seconds;
    row.bytesSent = 1000;
    row.id = history.add(row, ProcessIdentity::current()).value_or(0);
    return row.id != 0 && history.update(row);
}

// "updates successes running yield median p95 failures", as a supervisor reads a line.
QString figures(const ReportLine& line) {
    QStringList failures;
    for (const auto& [code, count] : line.failures)
        failures << QStringLiteral("%1=%2").arg(code).arg(count);
    const auto shown = [](std::optional<double> value) {
        return value ? QString::number(*value, 'f', 1) : QStringLiteral("-");
    };
    return QStringLiteral("%1 %2 %3 %4 %5 %6 %7 [%8]")
        .arg(line.group.join('/'))
        .arg(line.updates)
        .arg(line.successes)
        .arg(line.running)
        .arg(shown(line.yield()), shown(line.medianSeconds), shown(line.p95Seconds),
             failures.join(' '));
}

// The same rows in a station's own history and, forwarded from it, in a line's history on a
// PostgreSQL server of the test's own: each report is read from both and must agree.
struct HistoryReportTest : ::testing::Test {
    static void SetUpTestSuite() {
        server = new PostgresServer;
        ASSERT_TRUE(server->start()) << qPrintable(server->why());
        central = new CentralHistory(server->socketUri("postgres"));
        ASSERT_TRUE(central->open() && central->upgrade()) << qPrintable(central->reason());
        QTemporaryDir folder;
        HistoryStore history(folder.path());
        ASSERT_TRUE(history.open());
        for (const Made& made : kRows)
            ASSERT_TRUE(add(history, made));
        std::vector<QString> held;
        const auto rows = history.outbox(100);
        ASSERT_TRUE(rows && central->forward(*rows, &held)) << qPrintable(central->reason());
    }
    static void TearDownTestSuite() {
        delete central;
        delete server;
    }
    void SetUp() override {
        ASSERT_TRUE(history.open());
        for (const Made& made : kRows)
            ASSERT_TRUE(add(history, made));
    }
    // The report from each back end; the test fails where they differ.
    std::optional<HistoryReport> report(std::vector<ReportGroup> by, HistoryFilter filter = {}) {
        QSqlDatabase database = history.database();
        QString reason;
        auto own = readHistoryReport(database, filter, by, &reason);
        EXPECT_TRUE(own) << reason.toStdString();
        auto line = central->report(filter, by);
        EXPECT_TRUE(line) << central->reason().toStdString();
        if (!own || !line)
            return std::nullopt;
        EXPECT_EQ(lines(*own), lines(*line)) << "SQLite and PostgreSQL differ";
        return own;
    }
    static QStringList lines(const HistoryReport& report) {
        QStringList all{figures(report.whole)};
        for (const ReportLine& line : report.lines)
            all << figures(line);
        return all;
    }
    static inline PostgresServer* server = nullptr;
    static inline CentralHistory* central = nullptr;
    QTemporaryDir folder;
    HistoryStore history{folder.path()};
};

TEST_F(HistoryReportTest, CountsYieldPercentilesAndFailuresPerGroup) {
    const struct {
        std::vector<ReportGroup> by;
        QStringList lines;
    } cases[] = {
        {{ReportGroup::Station},
         {"a 7 4 1 57.1 20.0 40.0 [timeout=2 port-lost=1]",
          "b 2 1 0 50.0 15.0 15.0 [unfinished=1]"}},
        {{ReportGroup::Station, ReportGroup::Day},
         {"a/2026-12-01 4 2 0 50.0 10.0 40.0 [timeout=2]",
          "a/2026-12-02 3 2 1 66.7 20.0 30.0 [port-lost=1]",
          "b/2026-12-02 2 1 0 50.0 15.0 15.0 [unfinished=1]"}},
        {{ReportGroup::Hour},
         {"2026-12-01T08 2 2 0 100.0 10.0 40.0 []", "2026-12-01T09 2 0 0 0.0 - - [timeout=2]",
          "2026-12-02T07 3 2 1 66.7 20.0 30.0 [port-lost=1]",
          "2026-12-02T08 2 1 0 50.0 15.0 15.0 [unfinished=1]"}},
    };
    for (const auto& each : cases) {
        const auto read = report(each.by);
        ASSERT_TRUE(read);
        QStringList lines;
        for (const ReportLine& line : read->lines)
            lines << figures(line);
        EXPECT_EQ(lines, each.lines);
        EXPECT_EQ(figures(read->whole),
                  " 9 5 1 55.6 20.0 40.0 [timeout=2 port-lost=1 unfinished=1]");
        EXPECT_EQ(read->whole.bytesSent, 10000);
    }
}

TEST_F(HistoryReportTest, TheParetoOrdersReasonsWithTheirCumulativeShare) {
    const auto read = report({ReportGroup::Station});
    ASSERT_TRUE(read);
    QStringList pareto;
    for (const ParetoLine& line : read->pareto)
        pareto << QStringLiteral("%1 %2 %3 %4 %5")
                      .arg(line.code)
                      .arg(line.count)
                      .arg(line.share, 0, 'f', 1)
                      .arg(line.cumulative, 0, 'f', 1)
                      .arg(line.example);
    EXPECT_EQ(pareto,
              QStringList({"timeout 2 50.0 50.0 why timeout", "port-lost 1 25.0 75.0 why port-lost",
                           "unfinished 1 25.0 100.0 why "}));
}

TEST_F(HistoryReportTest, AnEmptyRangeAndOneWithOnlyFailuresHaveNoYieldToInvent) {
    HistoryFilter empty;
    empty.since = QDateTime::fromString("2027-01-01T00:00:00Z", Qt::ISODate);
    auto read = report({ReportGroup::Station}, empty);
    ASSERT_TRUE(read);
    EXPECT_TRUE(read->lines.empty());
    EXPECT_EQ(figures(read->whole), " 0 0 0 - - - []");
    EXPECT_TRUE(read->pareto.empty());

    HistoryFilter failuresOnly;
    failuresOnly.since = QDateTime::fromString("2026-12-01T09:00:00+01:00", Qt::ISODate);
    failuresOnly.until = QDateTime::fromString("2026-12-01T10:00:00+01:00", Qt::ISODate);
    read = report({ReportGroup::Module}, failuresOnly);
    ASSERT_TRUE(read);
    QStringList lines;
    for (const ReportLine& line : read->lines)
        lines << figures(line);
    EXPECT_EQ(lines,
              QStringList({"SAT 1 0 0 0.0 - - [timeout=1]", "TER 1 0 0 0.0 - - [timeout=1]"}));
}

TEST_F(HistoryReportTest, TheTableFitsEightyColumnsAndTheHtmlIsWholeAndSaysWhatTheJsonSays) {
    const auto read = report({ReportGroup::Station, ReportGroup::Day});
    const auto perDay = report({ReportGroup::Day});
    ASSERT_TRUE(read && perDay);
    const QStringList table = reportTable(*read, 80).split('\n', Qt::SkipEmptyParts);
    EXPECT_EQ(table.value(0),
              "STATION  DAY         UPDATES  OK  YIELD%  MEDIAN_S  P95_S  RUNNING  "
              "FAILURES");
    EXPECT_EQ(table.value(4),
              "all      all         9        5   55.6    20.0      40.0   1        "
              "timeout 2, …");
    for (const QString& line : table)
        EXPECT_LE(line.size(), 80) << qPrintable(line);

    const QJsonObject json = QJsonDocument::fromJson(reportJson(*read)).object();
    EXPECT_EQ(json["schema"].toInt(), 1);
    const QJsonObject whole = json["whole"].toObject();
    const QByteArray html = reportHtml(*read, *perDay, "Line 3", "8 December 2026");
    EXPECT_FALSE(html.contains("http")) << "fetches nothing";
    EXPECT_FALSE(html.contains("<script"));
    // Well-formed, and its last table row (the whole) holds the JSON's figures.
    QXmlStreamReader xml(html);
    QStringList cells, lastRow;
    while (!xml.atEnd()) {
        xml.readNext();
        if (xml.isStartElement() && xml.name() == u"tr")
            cells.clear();
        if (xml.isStartElement() && xml.name() == u"td")
            cells << xml.readElementText();
        if (xml.isEndElement() && xml.name() == u"tr" && cells.value(0) == "all")
            lastRow = cells;
    }
    EXPECT_FALSE(xml.hasError()) << qPrintable(xml.errorString());
    EXPECT_EQ(lastRow.mid(2, 3),
              QStringList({QString::number(whole["updates"].toInt()),
                           QString::number(whole["successes"].toInt()),
                           QString::number(whole["yield_percent"].toDouble(), 'f', 1)}));
}

// A dashboard connected to the line's database reads the same figures from its views.
TEST_F(HistoryReportTest, TheLinesViewsShowTheReportsFigures) {
    const auto read = report({ReportGroup::Station, ReportGroup::Day});
    ASSERT_TRUE(read);
    QStringList fromReport;
    for (const ReportLine& line : read->lines)
        fromReport << QStringLiteral("%1|%2|%3|%4|%5")
                          .arg(line.group.join('|'))
                          .arg(line.updates)
                          .arg(line.successes)
                          .arg(line.running)
                          .arg(reportFigure(line.yield()));
    QString output;
    ASSERT_TRUE(
        server->sql("SELECT station, day, updates, successes, running, yield_percent "
                    "FROM yield_per_station_day ORDER BY station, day",
                    &output));
    EXPECT_EQ(output.split('\n', Qt::SkipEmptyParts), fromReport);
    ASSERT_TRUE(server->sql(
        "SELECT day, reason_code, failures FROM failures_per_day ORDER BY day, reason_code",
        &output));
    EXPECT_EQ(
        output.split('\n', Qt::SkipEmptyParts),
        QStringList({"2026-12-01|timeout|2", "2026-12-02|port-lost|1", "2026-12-02|unfinished|1"}));
}

}  // namespace
}  // namespace tarvel::test
