// tarvel-update: the update and the communication test without the window, for production
// lines and scripts.
//
//   tarvel-update update  --port PORT [--folder DIR] [--timeout SEC] [--switch-wait SEC]
//                         [--transcript FILE] [--prefix-port] [--no-log] [--json]
//   tarvel-update comtest --port PORT [--transcript FILE] [--prefix-port] [--no-log] [--json]
//   tarvel-update inspect FILE... [--kind request|ack] [--json]
//   tarvel-update history [--csv | --json | --wide] [--no-header] [--port PORT] [--outcome O]
//                         [--kind K] [--since WHEN] [--until WHEN] [--last N]
//   tarvel-update station --port PORT... [--folder DIR] [--timeout SEC] [--json] [--repeat]
//   tarvel-update report [--by GROUPS] [--since WHEN] [--until WHEN] [--station NAME] [--local]
//                        [--wide | --csv | --json | --html FILE]
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
#include "cli/Options.h"
#include "cli/Report.h"
#include "cli/Station.h"
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
int usage(const QString& problem) {
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

// update's and comtest's options, the image folder's default named in the help.
void describe(QCommandLineParser& parser, const QString& defaultFolder) {
    parser.setApplicationDescription(QStringLiteral(
        "Updates the firmware of a module (update), tests the line to a module in its test "
        "mode (comtest), tells whether images would be accepted (inspect FILE..., see "
        "inspect --help), prints the history of updates and tests (history, see history "
        "--help), reports their yield (report, see report --help), or updates the modules on "
        "many ports at once (station, see station --help).\nExit status: 0 success, 1 update error "
        "or test failed, 2 bad usage "
        "(refused before the port is opened; each option at most once), port not openable or "
        "no usable image, 3 time-out (--timeout, or --switch-wait without an answer), 130 "
        "interrupted."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(
        QStringLiteral("command"),
        QStringLiteral("update, comtest, inspect, history, report or station (each has --help "
                       "of its own)."));
    addOptions(parser, {Option::Port});
    parser.addOption(commandLineOption(Option::Folder, defaultFolder));
    addOptions(parser,
               {Option::Timeout, Option::SwitchWait, Option::NextModule, Option::AllowOlderRelease,
                Option::Transcript, Option::PrefixPort, Option::NoLog, Option::Json,
                Option::ForwardedByStation, Option::RecordFromModule});
}

// Why the parsed command line is no update or test that can start; empty when it is one.
QString exchangeProblem(const QCommandLineParser& parser, bool communicationTest) {
    if (const QString problem =
            singleValueProblem(parser, {Option::Port, Option::Folder, Option::Timeout,
                                        Option::SwitchWait, Option::Transcript});
        !problem.isEmpty())
        return problem;
    const QStringList positional = parser.positionalArguments();
    if (!communicationTest && positional != QStringList{QStringLiteral("update")})
        return QStringLiteral("Say what to do: update or comtest.");
    if (!isSet(parser, Option::Port))
        return QStringLiteral("--port is missing.");
    for (const Option seconds : {Option::Timeout, Option::SwitchWait}) {
        const QString problem =
            isSet(parser, seconds) ? valueProblem(seconds, valueOf(parser, seconds)) : QString();
        if (!problem.isEmpty())
            return problem;
    }
    for (const Option updateOnly :
         {Option::SwitchWait, Option::NextModule, Option::AllowOlderRelease}) {
        if (communicationTest && isSet(parser, updateOnly))
            return QStringLiteral("--%1 is an option of update only.").arg(optionName(updateOnly));
    }
    if (const QString problem = valueProblem(Option::Port, valueOf(parser, Option::Port));
        !problem.isEmpty())
        return problem;
    return communicationTest ? QString()
                             : valueProblem(Option::Folder, valueOf(parser, Option::Folder));
}

// The update or test the checked command line asks for.
Exchange exchangeOf(const QCommandLineParser& parser, bool communicationTest) {
    Exchange exchange;
    exchange.communicationTest = communicationTest;
    const auto seconds = [&parser](Option option) {
        return isSet(parser, option) ? timeoutSeconds(valueOf(parser, option)).value_or(0) : 0;
    };
    exchange.timeout = seconds(Option::Timeout);
    exchange.switchWait = seconds(Option::SwitchWait);
    exchange.nextModule = isSet(parser, Option::NextModule);
    exchange.allowOlderRelease = isSet(parser, Option::AllowOlderRelease);
    const QString port = valueOf(parser, Option::Port);
    exchange.port = *portChoice(port);
    exchange.folder = QFileInfo(valueOf(parser, Option::Folder)).absoluteFilePath();
    exchange.transcript = valueOf(parser, Option::Transcript);
    exchange.prefix =
        isSet(parser, Option::PrefixPort) ? QStringLiteral("[%1] ").arg(port) : QString();
    exchange.record = !isSet(parser, Option::NoLog);
    exchange.forward = !isSet(parser, Option::ForwardedByStation);
    exchange.recordFromModule = isSet(parser, Option::RecordFromModule);
    exchange.json = isSet(parser, Option::Json);
    return exchange;
}

// update and comtest: parsed, checked, run; the exit status.
int runUpdateOrTest(SettingsStore& settings) {
    QCommandLineParser parser;
    describe(parser, imageFolder(QCoreApplication::applicationDirPath(), settings));
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kExitSuccess;
    }
    if (parser.isSet(QStringLiteral("version")))
        return printVersion();
    const bool communicationTest =
        parser.positionalArguments() == QStringList{QStringLiteral("comtest")};
    if (const QString problem = exchangeProblem(parser, communicationTest); !problem.isEmpty())
        return usage(problem);
    return runExchange(exchangeOf(parser, communicationTest), settings);
}

// The command the arguments name; its exit status.
int runCommand(int argc, char* argv[]) {
    const QString command = QCoreApplication::arguments().value(1);
    // inspect has options of its own and needs no port.
    if (command == QLatin1String("inspect"))
        return runInspect(argumentBytes(argc, argv));
    if (command == QLatin1String("history"))
        return runHistory(QCoreApplication::arguments());
    if (command == QLatin1String("report"))
        return runReport(QCoreApplication::arguments());
    QtSettingsStore settings(QString::fromLatin1(kApplicationName));
    if (command == QLatin1String("station"))
        return runStation(QCoreApplication::arguments(), settings);
    return runUpdateOrTest(settings);
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvel-update"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
    return BackgroundWorker::endProcess(runCommand(argc, argv));
}
