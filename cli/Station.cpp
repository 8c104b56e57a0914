#include "cli/Station.h"

#include "cli/Arguments.h"
#include "cli/Options.h"
#include "cli/StationScreen.h"
#include "cli/TerminalWidth.h"
#include "platform/SettingsStore.h"
#include "platform/qt/StateFolder.h"
#include "platform/qt/TerminationSignals.h"
#include "serial/PortNames.h"
#include "station/StationForwarder.h"
#include "station/StationPort.h"
#include "station/StationPorts.h"
#include "update/ImageFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>
#include <utility>

namespace tarvel {

namespace {

// How often the terminal's lines are drawn again: the elapsed time's tenths.
constexpr int kRedrawMs = 100;
// The station line's schema; raised only by a change that breaks a reader.
constexpr int kStationSchema = 1;

const char* const kCommand = "tarvel-update station";

struct StationOptions {
    QStringList ports;
    QStringList childArguments;  // --folder, --timeout
    bool json = false;
    bool repeat = false;
};

// The station's outcome line: every port's modules and the exit status.
QByteArray stationLine(double t, const std::vector<std::unique_ptr<StationPort>>& ports,
                       const std::vector<QString>& names, int exitStatus, const QString& usage) {
    QJsonArray list;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        QJsonArray modules;
        for (const ModuleResult& result : ports[i]->results()) {
            QJsonObject module = moduleOutcomeFields(result.ended);
            module.insert(QLatin1String("module"),
                          result.module.isEmpty() ? QJsonValue() : QJsonValue(result.module));
            module.insert(QLatin1String("image"),
                          result.image.isEmpty() ? QJsonValue() : QJsonValue(result.image));
            modules.append(module);
        }
        list.append(QJsonObject{{"port", names[i]}, {"modules", modules}});
    }
    QJsonObject fields{{"schema", kStationSchema}, {"exit_code", exitStatus}, {"ports", list}};
    if (!usage.isEmpty())
        fields.insert(QLatin1String("reason"), usage);
    return "{\"t\":" + QByteArray::number(std::round(t * 1000) / 1000) + ",\"event\":\"station\"," +
           QJsonDocument(fields).toJson(QJsonDocument::Compact).mid(1) + '\n';
}

int refused(const QString& problem, bool json) {
    if (json) {
        std::fputs(stationLine(0, {}, {}, kExitUsage, problem).constData(), stdout);
        std::fflush(stdout);
    }
    return refuse(problem, kCommand);
}

// station's options, the image folder's default named in the help.
void describe(QCommandLineParser& parser, const QString& defaultFolder) {
    parser.setApplicationDescription(QStringLiteral(
        "Updates the modules on many ports at once, each in a process of its own (tarvel-update "
        "update --json), so that a module or adapter that misbehaves leaves the others alone. On "
        "a terminal one line per port shows its module, image, progress, status and time; at "
        "the end a table shows each module's outcome. Ctrl+C (or SIGTERM) stops every update: "
        "each ends interrupted and is recorded.\n"
        "Exit status: 0 when every port's update succeeded, else the worst of theirs, from the "
        "least to the worst: 1 update error (also a process that crashed), 3 time-out, 2 a port "
        "that cannot be opened or no usable image (and bad usage of station itself), 130 "
        "interrupted."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("station"),
                                 QStringLiteral("Update the modules on many ports at once."),
                                 QStringLiteral("station"));
    addOptions(parser, {Option::Port});
    parser.addOption(commandLineOption(Option::Folder, defaultFolder));
    addOptions(parser, {Option::Timeout, Option::Json, Option::Repeat});
}

// The ports from --port, else from Ports= in [Station] of the settings; or why not.
QString portsProblem(const QCommandLineParser& parser, const SettingsStore& settings,
                     QStringList* ports) {
    if (!isSet(parser, Option::Port))
        return stationPortsProblem(stationPortsSetting(settings),
                                   QStringLiteral("Ports= in [Station]"), settings, ports);
    const QStringList given = parser.values(optionName(Option::Port));
    for (const QString& port : given) {
        if (!port.trimmed().isEmpty() && !portChoice(port))
            return valueProblem(Option::Port, port);
    }
    return stationPortsProblem(given, QStringLiteral("--port"), settings, ports);
}

// Why the parsed command line is no station that can start, else its options.
QString stationProblem(const QCommandLineParser& parser, const SettingsStore& settings,
                       StationOptions* options) {
    if (parser.positionalArguments().size() > 1)
        return QStringLiteral("\"%1\" is not an option of station.")
            .arg(parser.positionalArguments().at(1));
    if (const QString problem = singleValueProblem(parser, {Option::Folder, Option::Timeout});
        !problem.isEmpty())
        return problem;
    if (const QString problem = portsProblem(parser, settings, &options->ports); !problem.isEmpty())
        return problem;
    if (options->ports.isEmpty())
        return QStringLiteral(
            "No port: give --port, or Ports= in section [Station] of the settings.");
    for (const Option given : {Option::Timeout, Option::Folder}) {
        if (!isSet(parser, given))
            continue;
        const QString value = valueOf(parser, given);
        if (const QString problem = valueProblem(given, value); !problem.isEmpty())
            return problem;
        if (given == Option::Timeout && isSet(parser, Option::Repeat))
            return QStringLiteral(
                "--timeout does not go with --repeat: a port waits for its next module for as "
                "long as it takes.");
        options->childArguments << QStringLiteral("--") + optionName(given)
                                << (given == Option::Folder ? QFileInfo(value).absoluteFilePath()
                                                            : value);
    }
    options->json = isSet(parser, Option::Json);
    options->repeat = isSet(parser, Option::Repeat);
    return QString();
}

// Parses and checks the command line; returns the exit status of a refused or answered one.
std::optional<int> parse(const QStringList& arguments, const SettingsStore& settings,
                         StationOptions* options) {
    QCommandLineParser parser;
    describe(parser, imageFolder(QCoreApplication::applicationDirPath(), settings));
    const bool json = arguments.contains(QStringLiteral("--json"));
    if (!parser.parse(arguments))
        return refused(parser.errorText(), json);
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kExitSuccess;
    }
    if (const QString problem = stationProblem(parser, settings, options); !problem.isEmpty())
        return refused(problem, json);
    return std::nullopt;
}

// The ports of a run, in the order given, and the names they were given by.
struct Ports {
    std::vector<std::unique_ptr<StationPort>> ports;
    std::vector<QString> names;

    std::vector<PortView> views() const {
        std::vector<PortView> all;
        for (const auto& port : ports)
            all.push_back(port->view());
        return all;
    }
    bool finished() const {
        return std::all_of(ports.begin(), ports.end(),
                           [](const auto& port) { return port->finished(); });
    }
};

// One StationPort per port: its JSON lines to stdout, or its changes to the screen; the loop
// ends once every port has.
void makePorts(const StationOptions& options, StationScreen& screen, QEventLoop& loop,
               Ports* made) {
    for (const QString& name : options.ports) {
        made->ports.push_back(std::make_unique<StationPort>(
            updateProgramBeside(), name, options.childArguments, options.repeat));
        made->names.push_back(name);
        StationPort& port = *made->ports.back();
        if (options.json) {
            port.onJsonLine = [](const QByteArray& line) {
                std::fputs(line.constData(), stdout);
                std::fputc('\n', stdout);
                std::fflush(stdout);
            };
        } else {
            port.onChange = [&screen, name](const QString& text) { screen.change(name, text); };
        }
        port.onFinished = [made, &loop] {
            if (made->finished())
                loop.quit();
        };
    }
}

// The station's forwarder, when a line's history is set: its warnings on stderr, poked by every
// port's rows.
std::unique_ptr<HistoryForwarder> lineForwarder(const SettingsStore& settings, Ports& ports) {
    std::unique_ptr<HistoryForwarder> forwarder = stationForwarder(settings, stateFolder());
    if (!forwarder)
        return nullptr;
    forwarder->onWarning = [](const QString& warning) {
        std::fprintf(stderr, "%s\n", qPrintable(warning));
        std::fflush(stderr);
    };
    for (const auto& port : ports.ports)
        port->onRecorded = [forwarder = forwarder.get()] { forwarder->poke(); };
    return forwarder;
}

// Runs every port until each has ended, the screen redrawn meanwhile; whether it was stopped.
bool runPorts(Ports& ports, StationScreen& screen, QEventLoop& loop) {
    // Ctrl+C, SIGTERM, a hang-up or an output nobody reads any more (each later write would
    // say so again): every update is told once to end, and ends interrupted, recorded.
    bool stopping = false;
    const TerminationSignals termination([&ports, &stopping] {
        if (std::exchange(stopping, true))
            return;
        for (const auto& port : ports.ports)
            port->stop();
    });
    QTimer redraw;
    QObject::connect(&redraw, &QTimer::timeout, [&] { screen.draw(ports.views()); });
    redraw.start(kRedrawMs);
    for (const auto& port : ports.ports)
        port->start();
    loop.exec();
    redraw.stop();
    screen.draw(ports.views());
    return stopping;
}

// The outcome: the station's line or the table, then the updates' warnings and what a process
// without an outcome said; the exit status, the worst of them all.
int report(const Ports& ports, bool stopped, double seconds, bool json, StationScreen& screen) {
    // Stopped by Ctrl+C, also the end of --repeat: interrupted.
    ExitStatus worst = stopped ? kExitInterrupted : kExitSuccess;
    PortResults outcomes;
    for (std::size_t i = 0; i < ports.ports.size(); ++i) {
        outcomes.emplace_back(ports.names[i], ports.ports[i]->results());
        for (const ModuleResult& result : ports.ports[i]->results())
            worst = worseExitStatus(worst, exitStatusOf(result.ended.outcome));
    }
    if (json) {
        std::fputs(stationLine(seconds, ports.ports, ports.names, worst, {}).constData(), stdout);
        std::fflush(stdout);
    } else {
        screen.summary(outcomes);
    }
    for (const auto& [name, results] : outcomes) {
        for (const ModuleResult& result : results) {
            for (const QString& line : result.errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(line));
        }
    }
    return worst;
}

}  // namespace

int runStation(const QStringList& arguments, SettingsStore& settings) {
    StationOptions options;
    if (const std::optional<int> ended = parse(arguments, settings, &options))
        return *ended;
    QElapsedTimer clock;
    clock.start();
    StationScreen screen(stdout, !options.json);
    QEventLoop loop;
    Ports ports;
    makePorts(options, screen, loop, &ports);
    const std::unique_ptr<HistoryForwarder> forwarder = lineForwarder(settings, ports);
    const bool stopped = runPorts(ports, screen, loop);
    // What is not forwarded by now goes with a later run.
    if (forwarder) {
        if (const QString left = forwarder->finish(); !left.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(left));
    }
    return report(ports, stopped, clock.elapsed() / 1000.0, options.json, screen);
}

}  // namespace tarvel
