#include "cli/Report.h"

#include "central/CentralHistory.h"
#include "cli/Arguments.h"
#include "cli/HistoryBounds.h"
#include "cli/Options.h"
#include "cli/ReportHtml.h"
#include "cli/ReportOutput.h"
#include "cli/TerminalWidth.h"
#include "platform/ShownText.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/StateFolder.h"
#include "status/Outcome.h"

#include <QCommandLineParser>
#include <QSaveFile>

#include <algorithm>
#include <cstdio>

namespace tarvel {

namespace {

constexpr int kReported = 0;
constexpr int kUnreadable = 1;

int usage(const QString& problem) {
    std::fprintf(stderr, "tarvel-update report: %s\n", qPrintable(problem));
    return kExitUsage;
}

struct ReportRequest {
    HistoryFilter filter;
    std::vector<ReportGroup> by{ReportGroup::Station};
    bool csv = false, json = false, local = false;
    int width = 0;  // 0: any (--wide)
    QString html;   // the page's file; empty: none
};

void describe(QCommandLineParser& parser) {
    parser.setApplicationDescription(QStringLiteral(
        "Reports the updates in the history in force (the line's history when [History] "
        "Database= is set in the settings, else this station's own): per group the updates, "
        "the successful ones, the yield, the median and 95th percentile of the successful "
        "ones' seconds, the updates still running (counted apart, never as failures) and the "
        "failures by reason code; then the Pareto of the failure reasons.\nExit status: 0 "
        "reported, 1 the history cannot be read or the page cannot be written, 2 bad usage."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("report"), QStringLiteral("The command."));
    addOptions(parser, {Option::By, Option::Since, Option::Until, Option::Station, Option::Local,
                        Option::Wide, Option::ReportCsv, Option::Json, Option::Html});
}

// --by: one or two groups, none twice; or why not.
QString byProblem(const QCommandLineParser& parser, std::vector<ReportGroup>* by) {
    if (!isSet(parser, Option::By))
        return QString();
    const QString given = valueOf(parser, Option::By);
    const QStringList words = given.split(QLatin1Char(','));
    by->clear();
    for (const QString& word : words) {
        const std::optional<ReportGroup> group = reportGroupFromWord(word.trimmed());
        if (!group || words.size() > 2 || std::find(by->begin(), by->end(), *group) != by->end())
            return QStringLiteral(
                       "--by takes one or two of station, module, image, port, day and "
                       "hour, separated by a comma, not \"%1\".")
                .arg(shownText(given));
        by->push_back(*group);
    }
    return QString();
}

QString requestProblem(const QCommandLineParser& parser, ReportRequest* request) {
    if (const QString problem = singleValueProblem(
            parser, {Option::By, Option::Since, Option::Until, Option::Station, Option::Html});
        !problem.isEmpty())
        return problem;
    if (parser.positionalArguments().size() > 1)
        return QStringLiteral("\"%1\" is not an option of report.")
            .arg(shownText(parser.positionalArguments().at(1)));
    if (int(isSet(parser, Option::ReportCsv)) + int(isSet(parser, Option::Json)) +
            int(isSet(parser, Option::Html)) >
        1)
        return QStringLiteral("--csv, --json and --html exclude each other.");
    if (const QString problem = byProblem(parser, &request->by); !problem.isEmpty())
        return problem;
    if (const QString problem = boundsProblem(parser, &request->filter); !problem.isEmpty())
        return problem;
    request->filter.station = valueOf(parser, Option::Station);
    if (isSet(parser, Option::Station) && request->filter.station.isEmpty())
        return QStringLiteral("--station takes a station's name, not an empty one.");
    request->csv = isSet(parser, Option::ReportCsv);
    request->json = isSet(parser, Option::Json);
    request->local = isSet(parser, Option::Local);
    request->width = isSet(parser, Option::Wide) ? 0 : terminalColumns(stdout);
    request->html = valueOf(parser, Option::Html);
    return QString();
}

// The report from the line's history or this station's own; nothing when it cannot be read,
// which is said on stderr. A station without a history yet has a report of nothing.
std::optional<HistoryReport> readReport(const HistoryDestination& line, const HistoryFilter& filter,
                                        const std::vector<ReportGroup>& by, bool local) {
    if (!line.database.isEmpty() && !local) {
        CentralHistory history(line.database);
        std::optional<HistoryReport> report;
        if (history.open() && history.isReady())
            report = history.report(filter, by);
        if (!report)
            std::fprintf(stderr, "The line's history %s cannot be read: %s\n",
                         qPrintable(shownCentralUri(line.database)), qPrintable(history.reason()));
        return report;
    }
    const QString folder = stateFolder();
    HistoryStore history(folder);
    history.setStation(line.station);
    QString why = history.reason();
    std::optional<HistoryReport> report;
    if (history.open(false)) {
        QSqlDatabase database = history.database();
        report = readHistoryReport(database, filter, by, &why);
    } else if (history.reason().isEmpty()) {
        report = HistoryReport{by, {}, {}, {}};
    } else {
        why = history.reason();
    }
    if (!report)
        std::fprintf(stderr, "The history %s cannot be read: %s\n",
                     qPrintable(HistoryStore::fileIn(folder)), qPrintable(why));
    return report;
}

// The page, with the updates per day beside the groups asked for.
int writeHtml(const ReportRequest& request, const HistoryReport& report,
              const HistoryReport& perDay) {
    const QString whose = request.filter.station.isEmpty()
                              ? QStringLiteral("every station")
                              : QStringLiteral("station ") + request.filter.station;
    const QString title = QStringLiteral("Updates of %1").arg(whose);
    QSaveFile file(request.html);
    if (file.open(QIODevice::WriteOnly)) {
        file.write(reportHtml(report, perDay, title,
                              QStringLiteral("Made %1 by tarvel-update report.")
                                  .arg(QDateTime::currentDateTime().toString(Qt::ISODate))));
        if (file.commit())
            return kReported;
    }
    std::fprintf(stderr, "Cannot write %s: %s\n", qPrintable(request.html),
                 qPrintable(file.errorString()));
    return kUnreadable;
}

int printReport(const ReportRequest& request) {
    const HistoryDestination line =
        HistoryDestination::from(QtSettingsStore(QString::fromLatin1(kApplicationName)));
    const std::optional<HistoryReport> report =
        readReport(line, request.filter, request.by, request.local);
    if (!report)
        return kUnreadable;
    if (!request.html.isEmpty()) {
        const std::optional<HistoryReport> perDay =
            readReport(line, request.filter, {ReportGroup::Day}, request.local);
        return perDay ? writeHtml(request, *report, *perDay) : kUnreadable;
    }
    const QByteArray out = request.csv    ? reportCsv(*report)
                           : request.json ? reportJson(*report)
                                          : reportTable(*report, request.width).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return kReported;
}

}  // namespace

int runReport(const QStringList& arguments) {
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kReported;
    }
    ReportRequest request;
    if (const QString problem = requestProblem(parser, &request); !problem.isEmpty())
        return usage(problem);
    return printReport(request);
}

}  // namespace tarvel
