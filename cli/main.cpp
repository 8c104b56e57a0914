// tarvel-update: the update and the communication test without the window, for production
// lines and scripts.
//
//   tarvel-update update  --port PORT [--folder DIR] [--timeout SEC] [--switch-wait SEC]
//                         [--transcript FILE] [--prefix-port] [--no-log] [--json]
//   tarvel-update comtest --port PORT [--transcript FILE] [--prefix-port] [--no-log] [--json]
//   tarvel-update inspect FILE... [--kind request|ack] [--json]
//   tarvel-update history [--csv | --json | --wide] [--no-header] [--port P] [--outcome O]
//                         [--kind K] [--since WHEN] [--until WHEN] [--last N]
//   tarvel-update station --port PORT... [--folder DIR] [--timeout SEC] [--json] [--repeat]
//
// Exit status of update: 0 update successful; 1 update error; 2 bad usage, port not openable or
// no usable image; 3 time-out (also --switch-wait). Of comtest: 0 "Serial
// Communication O.K.", 1 "Serial Communication failed!", 2 bad usage or port not openable. Both:
// 130 interrupted (Ctrl+C, SIGTERM).
#include "cli/Arguments.h"
#include "cli/Exchange.h"
#include "cli/History.h"
#include "cli/Inspect.h"
#include "cli/JsonStream.h"
#include "cli/Station.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/QtSettingsStore.h"
#include "record/BackgroundWorker.h"
#include "status/ProgramVersion.h"
#include "update/ImageFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFileInfo>

#include <cstdio>

using namespace tarvel;

namespace {

// A refused command line says why on stderr; one that asked for --json gets its stream too, a
// start and an outcome, so that software reading it sees why it ended.
int usage(const QCommandLineParser&, const QString& problem) {
    const QStringList arguments = QCoreApplication::arguments();
    if (arguments.contains(QStringLiteral("--json"))) {
        const QString command = arguments.value(1);
        const bool known =
            command == QLatin1String("update") || command == QLatin1String("comtest");
        JsonStream(stdout, QStringLiteral(TARVEL_VERSION))
            .endWithoutExchange(known ? command : QString(), QString(),
                                {ReasonCode::Usage, problem});
    }
    return refuse(problem, "tarvel-update");
}

// Not QCommandLineParser::showVersion(): on Windows that shows a message box instead whenever
// the process has no console window (output into a pipe or a file, Wine).
int printVersion() {
    std::printf("%s %s\n", qPrintable(QCoreApplication::applicationName()),
                qPrintable(QCoreApplication::applicationVersion()));
    return kExitSuccess;
}

// The command the arguments name; its exit status.
int runCommand(int argc, char* argv[]) {
    // inspect has options of its own and needs no port: it takes over before the parser below.
    if (QCoreApplication::arguments().value(1) == QLatin1String("inspect"))
        return runInspect(argumentBytes(argc, argv));
    if (QCoreApplication::arguments().value(1) == QLatin1String("history"))
        return runHistory(QCoreApplication::arguments());

    QtSettingsStore settings(QString::fromLatin1(kApplicationName));
    if (QCoreApplication::arguments().value(1) == QLatin1String("station"))
        return runStation(QCoreApplication::arguments(), settings);
    const QString defaultFolder = imageFolder(QCoreApplication::applicationDirPath(), settings);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Updates the firmware of a module (update), tests the line to a module in its test "
        "mode (comtest), tells whether images would be accepted (inspect FILE..., see "
        "inspect --help), prints the history of updates and tests (history, see history "
        "--help), or updates the modules on many ports at once (station, see station "
        "--help).\nExit status: 0 success, 1 update error or test failed, 2 bad usage "
        "(refused before the port is opened; each option at most once), port not openable or "
        "no usable image, 3 time-out (--timeout, or --switch-wait without an answer), 130 "
        "interrupted."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("update, comtest, inspect, history or station (each has --help of its "
                       "own)."));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("COM1 to COM9 (mapped as in the window) or a device path."),
        QStringLiteral("PORT"));
    const QCommandLineOption folderOption(
        QStringLiteral("folder"),
        QStringLiteral("Where the images are looked up (default: %1).").arg(defaultFolder),
        QStringLiteral("DIR"), defaultFolder);
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("End a run that has not finished after SEC seconds (above 0, at most "
                       "86400)."),
        QStringLiteral("SEC"));
    const QCommandLineOption switchWaitOption(
        QStringLiteral("switch-wait"),
        QStringLiteral("update: stop when the module has not made itself known (setup switch "
                       "ON, identified) after SEC seconds, a time-out (default: wait for ever, "
                       "as the window does; after 30 s a hint says what to check)."),
        QStringLiteral("SEC"));
    const QCommandLineOption nextModuleOption(
        QStringLiteral("next-module"),
        QStringLiteral("update: take only a module that comes after a whole round of the "
                       "identification in which nothing answered, so that the module updated "
                       "before is not updated again while it is still attached (what station "
                       "--repeat runs)."));
    const QCommandLineOption olderReleaseOption(
        QStringLiteral("allow-older-release"),
        QStringLiteral("update: let a signed approved list through once, though it is older than "
                       "one this station has already used; the log and the history say so."));
    const QCommandLineOption transcriptOption(
        QStringLiteral("transcript"),
        QStringLiteral("Write every byte both ways, with time and direction, to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption prefixOption(
        QStringLiteral("prefix-port"),
        QStringLiteral("Start every output line with the port, for runs side by side."));
    const QCommandLineOption noLogOption(
        QStringLiteral("no-log"),
        QStringLiteral("Leave no log and no history row in the record of updates."));
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("JSON Lines on stdout instead of text: one object per event, the last "
                       "the outcome (see the manual page)."));
    // What station gives its children: it forwards their rows to the line's history itself;
    // with --repeat a wait for a module that never came (Ctrl+C, the adapter pulled) leaves none.
    QCommandLineOption stationForwardsOption(QStringLiteral("forwarded-by-station"));
    QCommandLineOption fromModuleOption(QStringLiteral("record-from-module"));
    for (QCommandLineOption* hidden : {&stationForwardsOption, &fromModuleOption})
        hidden->setFlags(QCommandLineOption::HiddenFromHelp);
    parser.addOptions({portOption, folderOption, timeoutOption, switchWaitOption, nextModuleOption,
                       olderReleaseOption, transcriptOption, prefixOption, noLogOption, jsonOption,
                       stationForwardsOption, fromModuleOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kExitSuccess;
    }
    if (parser.isSet(QStringLiteral("version")))
        return printVersion();
    if (const QString problem = singleValueProblem(
            parser, {portOption, folderOption, timeoutOption, switchWaitOption, transcriptOption});
        !problem.isEmpty())
        return usage(parser, problem);
    const QStringList positional = parser.positionalArguments();
    const bool communicationTest = positional == QStringList{QStringLiteral("comtest")};
    if (!communicationTest && positional != QStringList{QStringLiteral("update")})
        return usage(parser, QStringLiteral("Say what to do: update or comtest."));
    if (!parser.isSet(portOption))
        return usage(parser, QStringLiteral("--port is missing."));
    double timeout = 0, switchWait = 0;
    for (const auto& [option, seconds] :
         {std::pair{&timeoutOption, &timeout}, std::pair{&switchWaitOption, &switchWait}}) {
        if (!parser.isSet(*option))
            continue;
        const auto given = timeoutSeconds(parser.value(*option));
        if (!given)
            return usage(parser, QStringLiteral("--%1 %2: give seconds above 0, at most %3.")
                                     .arg(option->names().constFirst(), parser.value(*option),
                                          QString::number(kLongestTimeout)));
        *seconds = *given;
    }
    if (communicationTest && parser.isSet(switchWaitOption))
        return usage(parser, QStringLiteral("--switch-wait is an option of update only."));
    if (communicationTest && parser.isSet(nextModuleOption))
        return usage(parser, QStringLiteral("--next-module is an option of update only."));
    if (communicationTest && parser.isSet(olderReleaseOption))
        return usage(parser, QStringLiteral("--allow-older-release is an option of update only."));
    Exchange exchange;
    exchange.communicationTest = communicationTest;
    exchange.timeout = timeout;
    exchange.switchWait = switchWait;
    exchange.nextModule = parser.isSet(nextModuleOption);
    exchange.allowOlderRelease = parser.isSet(olderReleaseOption);
    const QString port = parser.value(portOption);
    const std::optional<PortChoice> choice = portChoice(port);
    if (!choice)
        return usage(parser, portProblem(port));
    exchange.port = *choice;
    exchange.folder = QFileInfo(parser.value(folderOption)).absoluteFilePath();
    if (!communicationTest) {
        const QString problem = QtFileSystem().folderProblem(exchange.folder);
        if (!problem.isEmpty()) {
            return usage(parser,
                         QStringLiteral("The image folder %1 %2.").arg(exchange.folder, problem));
        }
    }
    exchange.transcript = parser.value(transcriptOption);
    exchange.prefix = parser.isSet(prefixOption) ? QStringLiteral("[%1] ").arg(port) : QString();
    exchange.record = !parser.isSet(noLogOption);
    exchange.forward = !parser.isSet(stationForwardsOption);
    exchange.recordFromModule = parser.isSet(fromModuleOption);
    exchange.json = parser.isSet(jsonOption);
    return runExchange(exchange, settings);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvel-update"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
    return BackgroundWorker::endProcess(runCommand(argc, argv));
}
