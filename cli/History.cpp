#include "cli/History.h"

#include "central/CentralHistory.h"
#include "cli/Arguments.h"
#include "cli/HistoryBounds.h"
#include "cli/HistoryOutput.h"
#include "cli/Options.h"
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

// history's options.
void describe(QCommandLineParser& parser) {
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
    addOptions(parser,
               {Option::Csv, Option::Json, Option::Wide, Option::NoHeader, Option::Port,
                Option::Outcome, Option::ExchangeKind, Option::Since, Option::Until, Option::Last,
                Option::Station, Option::Local, Option::Pending, Option::UpgradeLine});
}

// What the command line asks for, checked.
struct HistoryRequest {
    HistoryFilter filter;
    bool filtered = false;  // by anything but --last
    bool csv = false, json = false, wide = false, header = true, local = false;
    bool upgradeCentral = false;
};

// The rows asked for: station, port, outcome and kind; or why not.
QString matchProblem(const QCommandLineParser& parser, HistoryFilter* filter) {
    filter->station = valueOf(parser, Option::Station);
    if (isSet(parser, Option::Station) && filter->station.isEmpty())
        return QStringLiteral("--station takes a station's name, not an empty one.");
    if (isSet(parser, Option::Port)) {
        const QString port = valueOf(parser, Option::Port);
        if (const QString problem = valueProblem(Option::Port, port); !problem.isEmpty())
            return problem;
        const PortChoice choice = *portChoice(port);
        filter->port =
            choice.comPort > 0 ? QStringLiteral("COM%1").arg(choice.comPort) : choice.device;
    }
    filter->outcome = valueOf(parser, Option::Outcome);
    if (isSet(parser, Option::Outcome) && !outcomeWords().contains(filter->outcome) &&
        filter->outcome != QLatin1String(kEveryFailure))
        return QStringLiteral("--outcome takes %1 (every failure) or one of %2, not \"%3\".")
            .arg(QLatin1String(kEveryFailure), outcomeWords().join(QStringLiteral(", ")),
                 filter->outcome);
    filter->kind = valueOf(parser, Option::ExchangeKind);
    if (isSet(parser, Option::ExchangeKind) && filter->kind != kUpdateKind &&
        filter->kind != kComtestKind)
        return QStringLiteral("--kind takes update or comtest, not \"%1\".").arg(filter->kind);
    return QString();
}

// The filter: the rows asked for, since and until when, how many; or why not.
QString filterProblem(const QCommandLineParser& parser, HistoryFilter* filter) {
    if (const QString problem = matchProblem(parser, filter); !problem.isEmpty())
        return problem;
    if (const QString problem = boundsProblem(parser, filter); !problem.isEmpty())
        return problem;
    if (isSet(parser, Option::Last)) {
        bool ok = false;
        filter->last = valueOf(parser, Option::Last).toInt(&ok);
        if (!ok || filter->last < 1)
            return QStringLiteral("--last takes a whole number above 0, not \"%1\".")
                .arg(valueOf(parser, Option::Last));
    }
    // The former file held updates only; its columns cannot tell a test from an update.
    if (isSet(parser, Option::Csv)) {
        if (filter->kind == kComtestKind)
            return QStringLiteral("--csv holds updates only, not --kind comtest.");
        filter->kind = kUpdateKind;
    }
    return QString();
}

// Why the options do not go together; empty when they do.
QString combinationProblem(const QCommandLineParser& parser) {
    if (isSet(parser, Option::UpgradeLine)) {
        for (const Option other :
             {Option::Csv, Option::Json, Option::Wide, Option::NoHeader, Option::Port,
              Option::Outcome, Option::ExchangeKind, Option::Since, Option::Until, Option::Last,
              Option::Station, Option::Local, Option::Pending}) {
            if (isSet(parser, other))
                return QStringLiteral("--upgrade-line takes no other option, not --%1.")
                    .arg(optionName(other));
        }
    }
    if (isSet(parser, Option::Pending) && isSet(parser, Option::Local))
        return QStringLiteral(
            "--pending lists this station's own rows; --local adds nothing to it.");
    return QString();
}

// Why the parsed command line asks for nothing history can do, else what it asks for.
QString requestProblem(const QCommandLineParser& parser, HistoryRequest* request) {
    // A filter given twice would silently keep only the second, as for the other commands.
    if (const QString problem = singleValueProblem(
            parser, {Option::Port, Option::Outcome, Option::ExchangeKind, Option::Since,
                     Option::Until, Option::Last, Option::Station});
        !problem.isEmpty())
        return problem;
    if (parser.positionalArguments().size() > 1)
        return QStringLiteral("\"%1\" is not an option of history.")
            .arg(parser.positionalArguments().at(1));
    if (isSet(parser, Option::Csv) && isSet(parser, Option::Json))
        return QStringLiteral("--csv and --json exclude each other.");
    HistoryFilter& filter = request->filter;
    if (const QString problem = filterProblem(parser, &filter); !problem.isEmpty())
        return problem;
    request->filtered = !filter.port.isEmpty() || !filter.outcome.isEmpty() ||
                        isSet(parser, Option::ExchangeKind) || filter.since.isValid() ||
                        filter.until.isValid() || !filter.station.isEmpty();
    if (const QString problem = combinationProblem(parser); !problem.isEmpty())
        return problem;
    filter.pending = isSet(parser, Option::Pending);
    request->csv = isSet(parser, Option::Csv);
    request->json = isSet(parser, Option::Json);
    request->wide = isSet(parser, Option::Wide);
    request->header = !isSet(parser, Option::NoHeader);
    request->local = isSet(parser, Option::Local);
    request->upgradeCentral = isSet(parser, Option::UpgradeLine);
    return QString();
}

// The rows asked for, from the line's history or this station's own; nothing when they cannot
// be read, which is said on stderr.
std::optional<std::vector<HistoryRow>> readRows(const HistoryDestination& line,
                                                const HistoryRequest& request) {
    if (!line.database.isEmpty() && !request.local && !request.filter.pending) {
        CentralHistory history(line.database);
        std::optional<std::vector<HistoryRow>> rows;
        if (history.open() && history.isReady())
            rows = history.rows(request.filter);
        if (!rows)
            std::fprintf(stderr, "The line's history %s cannot be read: %s\n",
                         qPrintable(shownCentralUri(line.database)), qPrintable(history.reason()));
        return rows;
    }
    const QString folder = stateFolder();
    HistoryStore history(folder);
    history.setStation(line.station);
    const bool found = history.open(false);
    if (!history.importWarning().isEmpty())
        std::fprintf(stderr, "%s\n", qPrintable(history.importWarning()));
    std::optional<std::vector<HistoryRow>> rows = std::vector<HistoryRow>();
    if (found)
        rows = history.rows(request.filter);
    if (!rows || (!found && !history.reason().isEmpty())) {
        std::fprintf(stderr, "The history %s cannot be read: %s\n",
                     qPrintable(HistoryStore::fileIn(folder)), qPrintable(history.reason()));
        return std::nullopt;
    }
    return rows;
}

// Lists the rows asked for as a table, the CSV or the JSON; the exit status.
int listRows(const HistoryRequest& request) {
    const HistoryDestination line =
        HistoryDestination::from(QtSettingsStore(QString::fromLatin1(kApplicationName)));
    if (request.upgradeCentral)
        return upgradeCentral(line);
    if (request.filter.pending && line.database.isEmpty()) {
        std::fprintf(stderr,
                     "No line's history is set ([History] Database= in the settings): "
                     "every row stays in this station's own history.\n");
        return kListed;
    }
    const std::optional<std::vector<HistoryRow>> rows = readRows(line, request);
    if (!rows)
        return kUnreadable;
    if (!request.csv && !request.json)
        return printTable(*rows,
                          {request.wide, request.header, terminalColumns(stdout),
                           !line.database.isEmpty() && !request.local},
                          request.filter, request.filtered, line, request.local);
    const QByteArray out = request.csv ? historyCsv(*rows) : historyJson(*rows);
    std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
    return kListed;
}

}  // namespace

int runHistory(const QStringList& arguments) {
    QCommandLineParser parser;
    describe(parser);
    if (!parser.parse(arguments))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kListed;
    }
    HistoryRequest request;
    if (const QString problem = requestProblem(parser, &request); !problem.isEmpty())
        return usage(problem);
    return listRows(request);
}

}  // namespace tarvel
