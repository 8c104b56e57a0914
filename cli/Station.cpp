#include "cli/Station.h"

#include "central/CentralHistory.h"
#include "central/HistoryForwarder.h"
#include "cli/Arguments.h"
#include "cli/StationPort.h"
#include "cli/StationScreen.h"
#include "cli/TerminalWidth.h"
#include "platform/SettingsStore.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/StateFolder.h"
#include "platform/qt/TerminationSignals.h"
#include "serial/PortNames.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QTimer>

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

// The ports as the technician named them, each once, COM names in capitals; or why not. A port
// is compared by the device it leads to, so that two names of one module (a by-id link and
// /dev/ttyUSB0, a COM name and its device) never start two updates on it.
QString portsProblem(const QStringList& given, const QString& source, const SettingsStore& settings,
                     QStringList* ports) {
    QStringList devices;
    for (const QString& text : given) {
        if (text.trimmed().isEmpty())
            return source + QStringLiteral(" is empty.");
        const std::optional<PortChoice> choice = portChoice(text);
        if (!choice)
            return source == QLatin1String("--port")
                       ? portProblem(text)
                       : QStringLiteral("%1 names %2: a port is COM1 to COM9 or a device path.")
                             .arg(source, text);
        const QString name =
            choice->comPort > 0 ? QStringLiteral("COM%1").arg(choice->comPort) : choice->device;
        if (ports->contains(name))
            return QStringLiteral("%1 names %2 twice.").arg(source, name);
        const QString device = QtFileSystem::identity(
            choice->comPort > 0 ? devicePathForPort(settings, choice->comPort) : choice->device);
        if (const qsizetype same = devices.indexOf(device); same >= 0)
            return QStringLiteral("%1 names %2 and %3, one device.")
                .arg(source, ports->at(same), name);
        *ports << name;
        devices << device;
    }
    return QString();
}

// Parses the command line; returns the exit status of a refused or answered one.
std::optional<int> parse(const QStringList& arguments, const SettingsStore& settings,
                         StationOptions* options) {
    QCommandLineParser parser;
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
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("A port to update on: COM1 to COM9 or a device path; give it once for "
                       "each port. Without it, the ports of Ports= in section [Station] of the "
                       "settings (separated by commas or spaces)."),
        QStringLiteral("PORT"));
    const QCommandLineOption folderOption(
        QStringLiteral("folder"),
        QStringLiteral("Where the images are looked up (default: as for update)."),
        QStringLiteral("DIR"));
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("End each update that has not finished after SEC seconds (above 0, at "
                       "most 86400)."),
        QStringLiteral("SEC"));
    const QCommandLineOption jsonOption(
        QStringLiteral("json"),
        QStringLiteral("JSON Lines: every update's events with \"port\" added, then one "
                       "\"station\" line with every port's outcomes and the exit status."));
    const QCommandLineOption repeatOption(
        QStringLiteral("repeat"),
        QStringLiteral("After each module's update wait for the next module on that port: once "
                       "a whole round of the identification has gone unanswered (the module was "
                       "taken off) or the port has vanished and come back, the next module to "
                       "answer is updated. Until Ctrl+C. Not with --timeout."));
    parser.addOptions({portOption, folderOption, timeoutOption, jsonOption, repeatOption});
    const bool json = arguments.contains(QStringLiteral("--json"));
    if (!parser.parse(arguments))
        return refused(parser.errorText(), json);
    if (parser.isSet(QStringLiteral("help"))) {
        printHelp(parser);
        return kExitSuccess;
    }
    if (parser.positionalArguments().size() > 1)
        return refused(QStringLiteral("\"%1\" is not an option of station.")
                           .arg(parser.positionalArguments().at(1)),
                       json);
    if (const QString problem = singleValueProblem(parser, {folderOption, timeoutOption});
        !problem.isEmpty())
        return refused(problem, json);
    const QString fromSettings =
        settings.value(QStringLiteral("Station"), QStringLiteral("Ports"), QString());
    const QString problem =
        parser.isSet(portOption)
            ? portsProblem(parser.values(portOption), QStringLiteral("--port"), settings,
                           &options->ports)
            : portsProblem(fromSettings.split(QRegularExpression(QStringLiteral("[,\\s]+")),
                                              Qt::SkipEmptyParts),
                           QStringLiteral("Ports= in [Station]"), settings, &options->ports);
    if (!problem.isEmpty())
        return refused(problem, json);
    if (options->ports.isEmpty())
        return refused(QStringLiteral("No port: give --port, or Ports= in section [Station] of "
                                      "the settings."),
                       json);
    if (parser.isSet(timeoutOption)) {
        if (!timeoutSeconds(parser.value(timeoutOption)))
            return refused(QStringLiteral("--timeout %1: give seconds above 0, at most %2.")
                               .arg(parser.value(timeoutOption), QString::number(kLongestTimeout)),
                           json);
        if (parser.isSet(repeatOption))
            return refused(QStringLiteral("--timeout does not go with --repeat: a port waits "
                                          "for its next module for as long as it takes."),
                           json);
        options->childArguments << QStringLiteral("--timeout") << parser.value(timeoutOption);
    }
    if (parser.isSet(folderOption)) {
        const QString folder = QFileInfo(parser.value(folderOption)).absoluteFilePath();
        if (const QString why = QtFileSystem().folderProblem(folder); !why.isEmpty())
            return refused(QStringLiteral("The image folder %1 %2.").arg(folder, why), json);
        options->childArguments << QStringLiteral("--folder") << folder;
    }
    options->json = parser.isSet(jsonOption);
    options->repeat = parser.isSet(repeatOption);
    return std::nullopt;
}

}  // namespace

int runStation(const QStringList& arguments, SettingsStore& settings) {
    StationOptions options;
    if (const std::optional<int> ended = parse(arguments, settings, &options))
        return *ended;
    QElapsedTimer clock;
    clock.start();
    StationScreen screen(stdout, !options.json);
    std::vector<std::unique_ptr<StationPort>> ports;
    std::vector<QString> names;
    QEventLoop loop;
    const auto views = [&ports] {
        std::vector<PortView> all;
        for (const auto& port : ports)
            all.push_back(port->view());
        return all;
    };
    for (const QString& name : options.ports) {
        ports.push_back(
            std::make_unique<StationPort>(name, options.childArguments, options.repeat));
        names.push_back(name);
        StationPort& port = *ports.back();
        if (options.json) {
            port.onJsonLine = [](const QByteArray& line) {
                std::fputs(line.constData(), stdout);
                std::fputc('\n', stdout);
                std::fflush(stdout);
            };
        } else {
            port.onChange = [&screen, name](const QString& text) { screen.change(name, text); };
        }
        port.onFinished = [&ports, &loop] {
            for (const auto& each : ports) {
                if (!each->finished())
                    return;
            }
            loop.quit();
        };
    }
    // One forwarder for the station, one connection to the line's server at a time: the
    // children only write their own rows and wake it.
    std::unique_ptr<HistoryForwarder> forwarder;
    if (const HistoryDestination line = HistoryDestination::from(settings);
        !line.database.isEmpty()) {
        forwarder = std::make_unique<HistoryForwarder>(stateFolder(), line.database, line.station);
        forwarder->onWarning = [](const QString& warning) {
            std::fprintf(stderr, "%s\n", qPrintable(warning));
            std::fflush(stderr);
        };
        for (const auto& port : ports)
            port->onRecorded = [&forwarder] { forwarder->poke(); };
    }
    // Ctrl+C, SIGTERM, a hang-up or an output nobody reads any more (each later write would
    // say so again): every update is told once to end, and ends interrupted, recorded.
    bool stopping = false;
    const TerminationSignals termination([&ports, &stopping] {
        if (std::exchange(stopping, true))
            return;
        for (const auto& port : ports)
            port->stop();
    });
    QTimer redraw;
    QObject::connect(&redraw, &QTimer::timeout, [&] { screen.draw(views()); });
    redraw.start(kRedrawMs);
    for (const auto& port : ports)
        port->start();
    loop.exec();
    redraw.stop();
    screen.draw(views());
    // What is not forwarded by now goes with a later run.
    if (forwarder) {
        if (const QString left = forwarder->finish(); !left.isEmpty())
            std::fprintf(stderr, "%s\n", qPrintable(left));
    }

    // Stopped by Ctrl+C, also the end of --repeat: interrupted.
    ExitStatus worst = stopping ? kExitInterrupted : kExitSuccess;
    PortResults outcomes;
    for (std::size_t i = 0; i < ports.size(); ++i) {
        outcomes.emplace_back(names[i], ports[i]->results());
        for (const ModuleResult& result : ports[i]->results())
            worst = worseExitStatus(worst, exitStatusOf(result.ended.outcome));
    }
    if (options.json) {
        std::fputs(stationLine(clock.elapsed() / 1000.0, ports, names, worst, {}).constData(),
                   stdout);
        std::fflush(stdout);
    } else {
        screen.summary(outcomes);
    }
    // The updates' warnings, what a process without an outcome said, after the table.
    for (const auto& [name, results] : outcomes) {
        for (const ModuleResult& result : results) {
            for (const QString& line : result.errors.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
                std::fprintf(stderr, "%s: %s\n", qPrintable(name), qPrintable(line));
        }
    }
    return worst;
}

}  // namespace tarvel
