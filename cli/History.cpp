#include "cli/History.h"

#include "cli/Arguments.h"
#include "cli/HistoryOutput.h"
#include "platform/qt/StateFolder.h"
#include "record/HistoryStore.h"

#include <QCommandLineParser>

#include <cstdio>

namespace tarvel {

namespace {

constexpr int kListed = 0;
constexpr int kUnreadable = 1;
constexpr int kUsage = 2;

int usage(const QString& problem) {
    std::fprintf(stderr, "tarvel-update history: %s\n", qPrintable(problem));
    return kUsage;
}

// A date is its local midnight; a date with a time is that moment.
QDateTime parseSince(const QString& text) {
    const QDate date = QDate::fromString(text, Qt::ISODate);
    return date.isValid() ? date.startOfDay() : QDateTime::fromString(text, Qt::ISODate);
}

}  // namespace

int runHistory(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the history of updates and communication tests, newest first: when each "
        "started and ended, its port, module, image, bytes sent, duration, outcome and log. "
        "An outcome is success, error, no-image, refused, cancelled, timeout, interrupted, "
        "running (still under way), or unfinished (its program ended without ending it).\n"
        "Exit status: 0 listed, 1 the history cannot be read, 2 bad usage."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("history"),
                                 QStringLiteral("Print the history instead of updating a module."),
                                 QStringLiteral("history"));
    const QCommandLineOption csvOption(
        QStringLiteral("csv"),
        QStringLiteral("The updates as the former history.csv held them: its 12 columns and "
                       "header, RFC 4180 with CRLF line ends."));
    const QCommandLineOption jsonOption(QStringLiteral("json"),
                                        QStringLiteral("One JSON array, an object per row."));
    const QCommandLineOption portOption(QStringLiteral("port"),
                                        QStringLiteral("Only the rows of port P (COM1, a device "
                                                       "path), as the run named it."),
                                        QStringLiteral("P"));
    const QCommandLineOption outcomeOption(QStringLiteral("outcome"),
                                           QStringLiteral("Only the rows of outcome O."),
                                           QStringLiteral("O"));
    const QCommandLineOption sinceOption(
        QStringLiteral("since"),
        QStringLiteral("Only what started from DATE on (2026-12-06, or 2026-12-06T14:00)."),
        QStringLiteral("DATE"));
    const QCommandLineOption lastOption(
        QStringLiteral("last"), QStringLiteral("Only the newest N rows."), QStringLiteral("N"));
    parser.addOptions({csvOption, jsonOption, portOption, outcomeOption, sinceOption, lastOption});
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(parser.helpText()));
        return kListed;
    }
    // A filter given twice would silently keep only the second, as for the other commands.
    if (const QString problem =
            singleValueProblem(parser, {portOption, outcomeOption, sinceOption, lastOption});
        !problem.isEmpty())
        return usage(problem);
    if (parser.positionalArguments().size() > 1)
        return usage(QStringLiteral("\"%1\" is not an option of history.")
                         .arg(parser.positionalArguments().at(1)));
    if (parser.isSet(csvOption) && parser.isSet(jsonOption))
        return usage(QStringLiteral("--csv and --json exclude each other."));
    HistoryFilter filter;
    filter.port = parser.value(portOption);
    filter.outcome = parser.value(outcomeOption);
    if (parser.isSet(outcomeOption) && !historyOutcomeWords().contains(filter.outcome))
        return usage(QStringLiteral("--outcome takes one of %1, not \"%2\".")
                         .arg(historyOutcomeWords().join(QStringLiteral(", ")), filter.outcome));
    if (parser.isSet(sinceOption)) {
        filter.since = parseSince(parser.value(sinceOption));
        if (!filter.since.isValid())
            return usage(QStringLiteral("--since takes a date such as 2026-12-06, not \"%1\".")
                             .arg(parser.value(sinceOption)));
    }
    if (parser.isSet(lastOption)) {
        bool ok = false;
        filter.last = parser.value(lastOption).toInt(&ok);
        if (!ok || filter.last < 1)
            return usage(QStringLiteral("--last takes a whole number above 0, not \"%1\".")
                             .arg(parser.value(lastOption)));
    }
    // The former file held updates only; its columns cannot tell a test from an update.
    if (parser.isSet(csvOption))
        filter.kind = kUpdateKind;

    const QString folder = stateFolder();
    HistoryStore history(folder);
    std::optional<std::vector<HistoryRow>> rows = std::vector<HistoryRow>();
    const bool found = history.open(false);
    if (!history.importWarning().isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(history.importWarning()));
    if (found)
        rows = history.rows(filter);
    if (!rows || (!found && !history.reason().isEmpty())) {
        std::fprintf(stderr, "The history %s cannot be read: %s\n",
                     qPrintable(HistoryStore::fileIn(folder)), qPrintable(history.reason()));
        return kUnreadable;
    }
    const QByteArray out = parser.isSet(csvOption)    ? historyCsv(*rows)
                           : parser.isSet(jsonOption) ? historyJson(*rows)
                                                      : historyTable(*rows).toUtf8();
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return kListed;
}

}  // namespace tarvel
