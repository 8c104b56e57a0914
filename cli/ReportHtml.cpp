#include "cli/ReportHtml.h"

#include "cli/ReportOutput.h"
#include "platform/ShownText.h"

#include <algorithm>

namespace tarvel {

namespace {

constexpr int kChartWidth = 640;
constexpr int kBarHeight = 18;
constexpr const char* kGood = "#2e7d32";
constexpr const char* kBad = "#c62828";

QString escaped(const QString& text) {
    return shownText(text).toHtmlEscaped();
}

QString groupName(const ReportLine& line) {
    QStringList values;
    for (const QString& value : line.group)
        values << (value.isEmpty() ? QStringLiteral("-") : value);
    return values.join(QStringLiteral(" / "));
}

QString svg(int height, const QString& body, const QString& label) {
    return QStringLiteral(
               "<svg role=\"img\" "
               "aria-label=\"%1\" width=\"%2\" height=\"%3\" viewBox=\"0 0 %2 %3\">"
               "%4</svg>\n")
        .arg(escaped(label))
        .arg(kChartWidth)
        .arg(height)
        .arg(body);
}

QString text(double x, double y, const QString& content, const char* anchor = "start") {
    return QStringLiteral("<text x=\"%1\" y=\"%2\" text-anchor=\"%3\">%4</text>")
        .arg(x)
        .arg(y)
        .arg(QLatin1String(anchor), escaped(content));
}

QString rect(double x, double y, double width, double height, const char* colour) {
    return QStringLiteral("<rect x=\"%1\" y=\"%2\" width=\"%3\" height=\"%4\" fill=\"%5\"/>")
        .arg(x)
        .arg(y)
        .arg(std::max(0.0, width))
        .arg(height)
        .arg(QLatin1String(colour));
}

// A bar per group: its yield, green to the yield and red beyond it.
QString yieldChart(const HistoryReport& report) {
    constexpr int label = 200, bars = kChartWidth - label - 120;
    QString body;
    int y = 0;
    for (const ReportLine& line : report.lines) {
        const double yield = line.yield().value_or(0);
        body += text(0, y + 13, groupName(line));
        body += rect(label, y + 2, bars, kBarHeight - 4, line.updates ? kBad : "#bbbbbb");
        body += rect(label, y + 2, bars * yield / 100, kBarHeight - 4, kGood);
        body +=
            text(label + bars + 6, y + 13,
                 QStringLiteral("%1 % of %2").arg(reportFigure(line.yield())).arg(line.updates));
        y += kBarHeight;
    }
    return svg(std::max(y, kBarHeight), body, QStringLiteral("Yield per group"));
}

// The reasons' counts as bars, most frequent first, and the cumulative share as a line.
QString paretoChart(const HistoryReport& report) {
    constexpr int height = 220, base = 170, top = 10;
    const qint64 most = report.pareto.empty() ? 1 : report.pareto.front().count;
    const double step = kChartWidth / double(std::max<std::size_t>(report.pareto.size(), 1));
    QString body, points;
    for (std::size_t i = 0; i < report.pareto.size(); ++i) {
        const ParetoLine& line = report.pareto[i];
        const double x = i * step, barHeight = (base - top) * double(line.count) / most;
        body += rect(x + step * 0.15, base - barHeight, step * 0.7, barHeight, kBad);
        body += text(x + step / 2, base + 16, line.code, "middle");
        body += text(x + step / 2, base - barHeight - 4, QString::number(line.count), "middle");
        points += QStringLiteral("%1,%2 ")
                      .arg(x + step / 2)
                      .arg(base - (base - top) * line.cumulative / 100);
    }
    body += QStringLiteral(
                "<polyline points=\"%1\" fill=\"none\" stroke=\"#333\" "
                "stroke-width=\"2\"/>")
                .arg(points.trimmed());
    return svg(height, body, QStringLiteral("Pareto of failure reasons"));
}

// Each day's updates: successes green, failures red above them.
QString dayChart(const HistoryReport& perDay) {
    constexpr int height = 200, base = 170;
    qint64 most = 1;
    for (const ReportLine& line : perDay.lines)
        most = std::max(most, line.updates);
    const double step = kChartWidth / double(std::max<std::size_t>(perDay.lines.size(), 1));
    QString body;
    for (std::size_t i = 0; i < perDay.lines.size(); ++i) {
        const ReportLine& line = perDay.lines[i];
        const double x = i * step + step * 0.15, width = step * 0.7;
        const double good = (base - 20) * double(line.successes) / most;
        const double bad = (base - 20) * double(line.updates - line.successes) / most;
        body += rect(x, base - good, width, good, kGood);
        body += rect(x, base - good - bad, width, bad, kBad);
        body += text(i * step + step / 2, base + 16, line.group.value(0).mid(5), "middle");
    }
    return svg(height, body, QStringLiteral("Updates per day"));
}

QString figuresTable(const HistoryReport& report) {
    QString html = QStringLiteral("<table><tr>");
    for (const ReportGroup group : report.by)
        html += QStringLiteral("<th>%1</th>").arg(reportGroupWord(group));
    html += QStringLiteral(
        "<th>Updates</th><th>OK</th><th>Yield %</th><th>Median s</th>"
        "<th>P95 s</th><th>Running</th><th>Failures</th></tr>\n");
    const auto row = [&html](const QStringList& group, const ReportLine& line) {
        html += QStringLiteral("<tr>");
        for (const QString& value : group)
            html += QStringLiteral("<td>%1</td>").arg(escaped(value));
        html += QStringLiteral(
                    "<td class=\"n\">%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td>"
                    "<td class=\"n\">%4</td><td class=\"n\">%5</td><td class=\"n\">%6</td>"
                    "<td>%7</td></tr>\n")
                    .arg(line.updates)
                    .arg(line.successes)
                    .arg(reportFigure(line.yield()), reportFigure(line.medianSeconds),
                         reportFigure(line.p95Seconds), QString::number(line.running),
                         escaped(reportFailures(line)));
    };
    for (const ReportLine& line : report.lines)
        row(line.group, line);
    row(QStringList(int(report.by.size()), QStringLiteral("all")), report.whole);
    return html + QStringLiteral("</table>\n");
}

QString paretoTable(const HistoryReport& report) {
    QString html = QStringLiteral(
        "<table><tr><th>Reason</th><th>Count</th><th>Share %</th>"
        "<th>Cumulative %</th><th>Example</th></tr>\n");
    for (const ParetoLine& line : report.pareto) {
        html += QStringLiteral(
                    "<tr><td>%1</td><td class=\"n\">%2</td><td class=\"n\">%3</td>"
                    "<td class=\"n\">%4</td><td>%5</td></tr>\n")
                    .arg(escaped(line.code))
                    .arg(line.count)
                    .arg(reportFigure(line.share), reportFigure(line.cumulative),
                         escaped(line.example));
    }
    return html + QStringLiteral("</table>\n");
}

}  // namespace

QByteArray reportHtml(const HistoryReport& report, const HistoryReport& perDay,
                      const QString& title, const QString& generated) {
    QString html = QStringLiteral(
                       "<!DOCTYPE html>\n<html lang=\"en\"><head><meta charset=\"utf-8\"/>"
                       "<title>%1</title>\n<style>"
                       "@page{size:A4;margin:15mm}body{font-family:sans-serif;font-size:10pt;"
                       "max-width:180mm;margin:auto}table{border-collapse:collapse;margin:1em 0}"
                       "th,td{border:1px solid #999;padding:2px 6px;text-align:left}"
                       "td.n{text-align:right}svg{max-width:100%;height:auto;font-size:11px}"
                       "h2{page-break-after:avoid}</style></head><body>\n"
                       "<h1>%1</h1>\n<p>%2</p>\n")
                       .arg(escaped(title), escaped(generated));
    html += QStringLiteral("<h2>Yield</h2>\n") + yieldChart(report) + figuresTable(report);
    html += QStringLiteral("<h2>Why updates failed</h2>\n");
    html += report.pareto.empty() ? QStringLiteral("<p>No failures.</p>\n")
                                  : paretoChart(report) + paretoTable(report);
    html += QStringLiteral("<h2>Updates per day</h2>\n") + dayChart(perDay);
    return (html + QStringLiteral("</body></html>\n")).toUtf8();
}

}  // namespace tarvel
