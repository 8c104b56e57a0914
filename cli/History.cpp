#include "cli/History.h"

#include "central/CentralHistory.h"
#include "cli/Arguments.h"
#include "cli/HistoryOutput.h"
#include "cli/TerminalWidth.h"
#include "platform/ShownText.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/StateFolder.h"
#include "record/HistorySchema.h"
#include "record/HistoryStore.h"
#include "status/Outcome.h"

#include <QCommandLineParser>
#include <QRegularExpression>

#include <cstdio>

namespace tarvel {

namespace {

constexpr int kListed = 0;
constexpr int kUnreadable = 1;

int usage(const QString& problem) {
    std::fprintf(stderr, "tarvel-update history: %s\n", qPrintable(problem));
    return kExitUsage;
}

// --since and --until: today and yesterday from their midnight, a time ago (45m, 2h, 7d), a
// date from its midnight, or a date with a time. Invalid for anything else.
QDateTime moment(const QString& text, const QDateTime& now) {
    if (text == QLatin1String("today"))
        return now.date().startOfDay();
    if (text == QLatin1String("yesterday"))
        return now.date().addDays(-1).startOfDay();
    const auto ago = QRegularExpression(QStringLiteral("^([0-9]{1,6})([mhd])$")).match(text);
    if (ago.hasMatch()) {
        const qint64 unit = ago.captured(2) == QLatin1String("m")   ? 60
                            : ago.captured(2) == QLatin1String("h") ? 3600
                                                                    : 86400;
        return now.addSecs(-ago.captured(1).toLongLong() * unit);
    }
    // QDate would take the date of a date with a time and drop the time.
    if (text.size() == 10)
        return QDate::fromString(text, Qt::ISODate).startOfDay();
    return QDateTime::fromString(text, Qt::ISODate);
}

// --upgrade-line: the line's owner makes the tables, or brings them up to date.
int upgradeCentral(const HistoryDestination& line) {
    if (line.database.isEmpty())
        return usage(
            QStringLiteral("--upgrade-line needs a line's history: [History] Database= "
                           "in the settings, a PostgreSQL URI."));
    CentralHistory history(line.database);
    if (!history.open() || !history.upgrade()) {
        std::fprintf(stderr, "The line's history %s cannot be brought up to date: %s\n",
                     qPrintable(shownCentralUri(line.database)), qPrintable(history.reason()));
        return kUnreadable;
    }
    std::printf("The line's history %s is at schema %d.\n",
                qPrintable(shownCentralUri(line.database)), knownHistoryVersion());
    return kListed;
}

// The pending rows that the line's history holds otherwise than this station wrote them, and
// why: they stay in the outbox until someone puts the server's row right.
QString heldText(const QString& folder, const QString& station) {
    HistoryStore history(folder);
    history.setStation(station);
    if (!history.open(false))
        return QString();
    const auto held = history.heldRows();
    if (!held || held->empty())
        return QString();
    QString text = QStringLiteral("Held otherwise by the line's history:\n");
    for (const auto& [exchange, why] : *held)
        text += QStringLiteral("  %1: %2\n").arg(exchange, shownText(why));
    return text;
}

// Whether the history read (the line's, or this station's own with local) holds any row of
// station.
bool knowsStation(const HistoryDestination& line, bool local, const QString& station) {
    HistoryFilter filter;
    filter.station = station;
    filter.last = 1;
    std::optional<std::vector<HistoryRow>> rows;
    if (!line.database.isEmpty() && !local) {
        CentralHistory history(line.database);
        if (history.open() && history.isReady())
            rows = history.rows(filter);
    } else {
        HistoryStore history(stateFolder());
        history.setStation(line.station);
        if (history.open(false))
            rows = history.rows(filter);
    }
    return !rows || !rows->empty();
}

// The table, or a line that says why there is none; a station the history does not know is
// named on stderr, since a name mistyped would otherwise read as a station without a failure.
int printTable(const std::vector<HistoryRow>& rows, const TableLayout& layout,
               const HistoryFilter& filter, bool filtered, const HistoryDestination& line,
               bool local) {
    if (rows.empty() && !filter.station.isEmpty() &&
        !knowsStation(line, local || filter.pending, filter.station)) {
        std::fprintf(stderr, "The history holds no row of station %s.\n",
                     qPrintable(shownText(filter.station)));
        return kUnreadable;
    }
    const bool pending = filter.pending;
    QByteArray out;
    if (rows.empty()) {
        // Nothing to parse for a script that asked for no header.
        if (layout.header)
            out = pending    ? "Every row has reached the line's history.\n"
                  : filtered ? "No row matches.\n"
                             : "The history holds no update or test yet.\n";
    } else {
        out = historyTable(rows, layout).toUtf8();
        if (pending)
            out += heldText(stateFolder(), line.station).toUtf8();
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return kListed;
}

}  // namespace

int runHistory(const QStringList& arguments) {
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Prints the history of updates and communication tests, newest first: when each "
        "started, its port, module, image, outcome, seconds and reason (and its station, from a "
        "line's history), and with --wide also its kind, when it ended, its device, bytes sent, "
        "the image's size and SHA-256, its log and reason code, in full: as a block per row "
        "where a table of them is wider than the terminal. An outcome is success, error, no-image, "
        "refused, cancelled, timeout, interrupted, "
        "running (still under way), or unfinished (its program ended without ending it).\n"
        "With a line's history set ([History] Database= in the settings, a PostgreSQL URI), "
        "the rows of every station on the line; --local for this station's own.\n"
        "Exit status: 0 listed, 1 the history cannot be read or holds no row of the --station "
        "given, 2 bad usage."));
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
    const QCommandLineOption wideOption(
        QStringLiteral("wide"),
        QStringLiteral("Every column in full (times with their offset, whole paths); the table "
                       "is otherwise fitted to the terminal's width or COLUMNS."));
    const QCommandLineOption noHeaderOption(QStringLiteral("no-header"),
                                            QStringLiteral("The table without its line of "
                                                           "column names, for scripts."));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("Only the rows of port P: COM1 to COM9 (any letter case), or a device "
                       "path, which also finds the COM name that led to it."),
        QStringLiteral("P"));
    const QCommandLineOption outcomeOption(
        QStringLiteral("outcome"),
        QStringLiteral("Only the rows of outcome O (failed: any failure)."), QStringLiteral("O"));
    const QCommandLineOption kindOption(QStringLiteral("kind"),
                                        QStringLiteral("Only updates (update) or tests (comtest)."),
                                        QStringLiteral("K"));
    const QCommandLineOption sinceOption(
        QStringLiteral("since"),
        QStringLiteral("Only what started from WHEN on: today, yesterday (from midnight), a "
                       "time ago (45m, 2h, 7d), a date (2026-12-06, from its midnight) or a "
                       "date and time (2026-12-06T14:00)."),
        QStringLiteral("WHEN"));
    const QCommandLineOption untilOption(
        QStringLiteral("until"),
        QStringLiteral("Only what started before WHEN, given as for --since (--until today: "
                       "before today's midnight)."),
        QStringLiteral("WHEN"));
    const QCommandLineOption lastOption(
        QStringLiteral("last"), QStringLiteral("Only the newest N rows."), QStringLiteral("N"));
    const QCommandLineOption stationOption(
        QStringLiteral("station"), QStringLiteral("Only the rows of station NAME, which it holds."),
        QStringLiteral("NAME"));
    const QCommandLineOption localOption(
        QStringLiteral("local"),
        QStringLiteral("This station's own history, also when a line's history is set."));
    const QCommandLineOption pendingOption(
        QStringLiteral("pending"),
        QStringLiteral("The rows of this station that have not reached the line's history yet "
                       "(as they are now)."));
    const QCommandLineOption upgradeCentralOption(
        QStringLiteral("upgrade-line"),
        QStringLiteral("Make the line's history's tables, or bring them up to date, and print "
                       "nothing else: for the line's owner, whose database role may create "
                       "them; a station's role may not."));
    parser.addOptions({csvOption, jsonOption, wideOption, noHeaderOption, portOption, outcomeOption,
                       kindOption, sinceOption, untilOption, lastOption, stationOption, localOption,
                       pendingOption, upgradeCentralOption});
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kListed;
    }
    // A filter given twice would silently keep only the second, as for the other commands.
    if (const QString problem =
            singleValueProblem(parser, {portOption, outcomeOption, kindOption, sinceOption,
                                        untilOption, lastOption, stationOption});
        !problem.isEmpty())
        return usage(problem);
    if (parser.positionalArguments().size() > 1)
        return usage(QStringLiteral("\"%1\" is not an option of history.")
                         .arg(parser.positionalArguments().at(1)));
    if (parser.isSet(csvOption) && parser.isSet(jsonOption))
        return usage(QStringLiteral("--csv and --json exclude each other."));
    HistoryFilter filter;
    filter.station = parser.value(stationOption);
    if (parser.isSet(stationOption) && filter.station.isEmpty())
        return usage(QStringLiteral("--station takes a station's name, not an empty one."));
    if (parser.isSet(portOption)) {
        const std::optional<PortChoice> port = portChoice(parser.value(portOption));
        if (!port)
            return usage(portProblem(parser.value(portOption)));
        filter.port = port->comPort > 0 ? QStringLiteral("COM%1").arg(port->comPort) : port->device;
    }
    filter.outcome = parser.value(outcomeOption);
    if (parser.isSet(outcomeOption) && !outcomeWords().contains(filter.outcome) &&
        filter.outcome != QLatin1String(kEveryFailure))
        return usage(QStringLiteral("--outcome takes %1 (every failure) or one of %2, not \"%3\".")
                         .arg(QLatin1String(kEveryFailure),
                              outcomeWords().join(QStringLiteral(", ")), filter.outcome));
    filter.kind = parser.value(kindOption);
    if (parser.isSet(kindOption) && filter.kind != kUpdateKind && filter.kind != kComtestKind)
        return usage(
            QStringLiteral("--kind takes update or comtest, not \"%1\".").arg(filter.kind));
    const QDateTime now = QDateTime::currentDateTime();
    for (const auto& [option, bound] :
         {std::pair{&sinceOption, &filter.since}, std::pair{&untilOption, &filter.until}}) {
        if (!parser.isSet(*option))
            continue;
        *bound = moment(parser.value(*option), now);
        if (!bound->isValid())
            return usage(QStringLiteral("--%1 takes today, yesterday, a time ago such as 2h or "
                                        "7d, or a date such as 2026-12-06, not \"%2\".")
                             .arg(option->names().constFirst(), parser.value(*option)));
    }
    if (parser.isSet(lastOption)) {
        bool ok = false;
        filter.last = parser.value(lastOption).toInt(&ok);
        if (!ok || filter.last < 1)
            return usage(QStringLiteral("--last takes a whole number above 0, not \"%1\".")
                             .arg(parser.value(lastOption)));
    }
    // The former file held updates only; its columns cannot tell a test from an update.
    if (parser.isSet(csvOption)) {
        if (filter.kind == kComtestKind)
            return usage(QStringLiteral("--csv holds updates only, not --kind comtest."));
        filter.kind = kUpdateKind;
    }
    const bool filtered = !filter.port.isEmpty() || !filter.outcome.isEmpty() ||
                          parser.isSet(kindOption) || filter.since.isValid() ||
                          filter.until.isValid() || !filter.station.isEmpty();

    const HistoryDestination line =
        HistoryDestination::from(QtSettingsStore(QString::fromLatin1(kApplicationName)));
    if (parser.isSet(upgradeCentralOption)) {
        for (const QCommandLineOption* other :
             {&csvOption, &jsonOption, &wideOption, &noHeaderOption, &portOption, &outcomeOption,
              &kindOption, &sinceOption, &untilOption, &lastOption, &stationOption, &localOption,
              &pendingOption}) {
            if (parser.isSet(*other))
                return usage(QStringLiteral("--upgrade-line takes no other option, not --%1.")
                                 .arg(other->names().constFirst()));
        }
        return upgradeCentral(line);
    }
    if (parser.isSet(pendingOption) && parser.isSet(localOption))
        return usage(
            QStringLiteral("--pending lists this station's own rows; --local adds "
                           "nothing to it."));
    filter.pending = parser.isSet(pendingOption);
    if (filter.pending && line.database.isEmpty()) {
        std::fprintf(stderr,
                     "No line's history is set ([History] Database= in the settings): "
                     "every row stays in this station's own history.\n");
        return kListed;
    }
    std::optional<std::vector<HistoryRow>> rows = std::vector<HistoryRow>();
    if (!line.database.isEmpty() && !parser.isSet(localOption) && !filter.pending) {
        CentralHistory history(line.database);
        if (history.open() && history.isReady())
            rows = history.rows(filter);
        else
            rows = std::nullopt;
        if (!rows) {
            std::fprintf(stderr, "The line's history %s cannot be read: %s\n",
                         qPrintable(shownCentralUri(line.database)), qPrintable(history.reason()));
            return kUnreadable;
        }
    } else {
        const QString folder = stateFolder();
        HistoryStore history(folder);
        history.setStation(line.station);
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
    }
    QByteArray out;
    if (parser.isSet(csvOption)) {
        out = historyCsv(*rows);
    } else if (parser.isSet(jsonOption)) {
        out = historyJson(*rows);
    } else {
        return printTable(
            *rows,
            {parser.isSet(wideOption), !parser.isSet(noHeaderOption), terminalColumns(stdout),
             !line.database.isEmpty() && !parser.isSet(localOption)},
            filter, filtered, line, parser.isSet(localOption));
    }
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return kListed;
}

}  // namespace tarvel
