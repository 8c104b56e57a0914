#pragma once

#include "record/HistoryStore.h"

#include <QSqlDatabase>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>
#include <vector>

namespace tarvel {

// What a report groups the updates by. A day or an hour is the station's local one, as each
// row's start was written.
enum class ReportGroup { Station, Module, Image, Port, Day, Hour };

// "station", "module", "image", "port", "day", "hour".
QString reportGroupWord(ReportGroup group);
std::optional<ReportGroup> reportGroupFromWord(const QString& word);

// The figures of one group of updates (communication tests are not updates). An update still
// under way is counted apart, never as a failure; every other end but success is a failure.
struct ReportLine {
    QStringList group;   // the group's values, in the order asked; empty for the whole
    qint64 updates = 0;  // ended: successes and failures
    qint64 successes = 0;
    qint64 running = 0;    // still under way
    qint64 bytesSent = 0;  // by every update of the group, ended or not
    // Of the successful updates' durations to a tenth of a second, by nearest rank; none
    // without a success.
    std::optional<double> medianSeconds;
    std::optional<double> p95Seconds;
    // Failures by reason code (the outcome's word for rows older than reason codes), the most
    // frequent first.
    std::vector<std::pair<QString, qint64>> failures;

    // Per cent of the ended updates that succeeded; none when none ended.
    std::optional<double> yield() const;
};

// One reason in the Pareto of failures: most frequent first.
struct ParetoLine {
    QString code;
    qint64 count = 0;
    double share = 0;       // of all failures, per cent
    double cumulative = 0;  // this and every more frequent one, per cent
    QString example;        // one failed row's reason sentence
};

struct HistoryReport {
    std::vector<ReportGroup> by;
    std::vector<ReportLine> lines;  // one per group, in the groups' order
    ReportLine whole;               // every update the filter selects
    std::vector<ParetoLine> pareto;
};

// A figure as a report shows it: "57.1", "-" where there is none; seconds and per cent with one
// decimal.
QString reportFigure(std::optional<double> value);
// A line's failures as a report shows them: "timeout 2, port-lost 1".
QString reportFailures(const ReportLine& line);

// The report of the updates the filter selects, grouped by up to two groups, counted by the
// database itself (SQLite or PostgreSQL alike); none with the reason when it cannot be read.
std::optional<HistoryReport> readHistoryReport(QSqlDatabase& database, const HistoryFilter& filter,
                                               const std::vector<ReportGroup>& by, QString* reason);

}  // namespace tarvel
