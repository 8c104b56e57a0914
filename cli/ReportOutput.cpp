#include "cli/ReportOutput.h"

#include "platform/ShownText.h"
#include "record/HistoryCsv.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>

namespace tarvel {

namespace {

// The figures' columns after the groups': header, and the text of a line.
struct FigureColumn {
    const char* header;
    QString (*text)(const ReportLine& line);
};
const FigureColumn kFigures[] = {
    {"UPDATES", [](const ReportLine& l) { return QString::number(l.updates); }},
    {"OK", [](const ReportLine& l) { return QString::number(l.successes); }},
    {"YIELD%", [](const ReportLine& l) { return reportFigure(l.yield()); }},
    {"MEDIAN_S", [](const ReportLine& l) { return reportFigure(l.medianSeconds); }},
    {"P95_S", [](const ReportLine& l) { return reportFigure(l.p95Seconds); }},
    {"RUNNING", [](const ReportLine& l) { return QString::number(l.running); }},
};

// Columns padded to their widest cell, the last one cut to what is left of width.
QString aligned(const std::vector<QStringList>& rows, int width) {
    std::vector<int> widths;
    for (const QStringList& row : rows) {
        widths.resize(std::max<std::size_t>(widths.size(), row.size()));
        for (int i = 0; i + 1 < row.size(); ++i)
            widths[i] = std::max<int>(widths[i], row[i].size());
    }
    QString text;
    for (const QStringList& row : rows) {
        QString line;
        for (int i = 0; i < row.size(); ++i)
            line += i + 1 < row.size() ? row[i].leftJustified(widths[i] + 2) : row[i];
        if (width > 0 && line.size() > width)
            line = line.left(width - 1) + QChar(0x2026);
        text += line.trimmed() + QLatin1Char('\n');
    }
    return text;
}

QJsonObject lineJson(const HistoryReport& report, const ReportLine& line) {
    QJsonObject object;
    for (std::size_t i = 0; i < report.by.size() && int(i) < line.group.size(); ++i)
        object.insert(reportGroupWord(report.by[i]), line.group[int(i)]);
    const auto number = [](std::optional<double> value) {
        return value ? QJsonValue(*value) : QJsonValue(QJsonValue::Null);
    };
    QJsonObject failures;
    for (const auto& [code, count] : line.failures)
        failures.insert(code, count);
    object.insert("updates", line.updates);
    object.insert("successes", line.successes);
    object.insert("yield_percent", number(line.yield()));
    object.insert("running", line.running);
    object.insert("bytes_sent", line.bytesSent);
    object.insert("median_s", number(line.medianSeconds));
    object.insert("p95_s", number(line.p95Seconds));
    object.insert("failures", failures);
    return object;
}

}  // namespace

QString reportTable(const HistoryReport& report, int width) {
    std::vector<QStringList> rows;
    QStringList header;
    for (const ReportGroup group : report.by)
        header << reportGroupWord(group).toUpper();
    for (const FigureColumn& column : kFigures)
        header << QLatin1String(column.header);
    rows.push_back(header << QStringLiteral("FAILURES"));
    const auto add = [&rows](const QStringList& group, const ReportLine& line) {
        QStringList row;
        for (const QString& value : group)
            row << (value.isEmpty() ? QStringLiteral("-") : shownText(value));
        for (const FigureColumn& column : kFigures)
            row << column.text(line);
        rows.push_back(row << reportFailures(line));
    };
    for (const ReportLine& line : report.lines)
        add(line.group, line);
    add(QStringList(int(report.by.size()), QStringLiteral("all")), report.whole);
    QString text = aligned(rows, width);
    if (report.pareto.empty())
        return text + QStringLiteral("\nNo failures.\n");
    std::vector<QStringList> pareto{{"REASON", "COUNT", "SHARE%", "CUMULATIVE%", "EXAMPLE"}};
    for (const ParetoLine& line : report.pareto)
        pareto.push_back({line.code, QString::number(line.count), reportFigure(line.share),
                          reportFigure(line.cumulative), shownText(line.example)});
    return text + QLatin1Char('\n') + aligned(pareto, width);
}

QByteArray reportCsv(const HistoryReport& report) {
    QStringList header;
    for (const ReportGroup group : report.by)
        header << reportGroupWord(group);
    header << "updates"
           << "successes"
           << "yield_percent"
           << "running"
           << "bytes_sent"
           << "median_s"
           << "p95_s"
           << "failures";
    QString text = csvLine(header);
    const auto add = [&text](const QStringList& group, const ReportLine& line) {
        const auto figure = [](std::optional<double> value) {
            return value ? QString::number(*value, 'f', 3) : QString();
        };
        text += csvLine(QStringList(group)
                        << QString::number(line.updates) << QString::number(line.successes)
                        << figure(line.yield()) << QString::number(line.running)
                        << QString::number(line.bytesSent) << figure(line.medianSeconds)
                        << figure(line.p95Seconds) << reportFailures(line));
    };
    for (const ReportLine& line : report.lines)
        add(line.group, line);
    add(QStringList(int(report.by.size()), QStringLiteral("all")), report.whole);
    return text.toUtf8();
}

QByteArray reportJson(const HistoryReport& report) {
    QJsonArray by, groups, pareto;
    for (const ReportGroup group : report.by)
        by.append(reportGroupWord(group));
    for (const ReportLine& line : report.lines)
        groups.append(lineJson(report, line));
    for (const ParetoLine& line : report.pareto) {
        pareto.append(QJsonObject{{"reason_code", line.code},
                                  {"count", line.count},
                                  {"share_percent", line.share},
                                  {"cumulative_percent", line.cumulative},
                                  {"example", line.example}});
    }
    const QJsonObject object{{"schema", kReportJsonSchema},
                             {"by", by},
                             {"groups", groups},
                             {"whole", lineJson(report, report.whole)},
                             {"pareto", pareto}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

}  // namespace tarvel
