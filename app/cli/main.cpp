// tarvel-update: the update and the communication test without the window, for production
// lines and scripts.
//
//   tarvel-update update  --port PORT [--folder DIR] [--timeout SEC] [--transcript FILE]
//                         [--prefix-port]
//   tarvel-update comtest --port PORT [--transcript FILE] [--prefix-port]
//   tarvel-update inspect FILE... [--kind request|ack] [--json]
//
// Exit status of update: 0 update successful; 1 update error; 2 bad usage, port not openable or
// no usable image; 3 time-out. Of comtest: 0 "Serial Communication O.K.", 1 "Serial
// Communication failed!", 2 bad usage or port not openable. Both: 130 interrupted (Ctrl+C,
// SIGTERM).
#include "app/Form1.h"
#include "app/Version.h"
#include "app/cli/ConsoleFrontEnd.h"
#include "app/cli/Inspect.h"
#include "app/cli/Interruption.h"
#include "platform/PropertyBag.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/QtIntervalTimer.h"
#include "platform/qt/QtSerialDevice.h"
#include "platform/qt/QtSettingsStore.h"
#include "serial/WireLog.h"
#include "update/ImageFolder.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTimer>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

using namespace tarvel;

namespace {

enum ExitCode { kSuccess = 0, kFailed = 1, kUsage = 2, kTimeout = 3, kInterrupted = 130 };
constexpr double kLineBytesPerSecond = 11520.0;  // 115200 baud, 10 bits a byte

int usage(const QCommandLineParser& parser, const QString& problem) {
    std::fprintf(stderr, "%s\n\n%s", qPrintable(problem), qPrintable(parser.helpText()));
    return kUsage;
}

int exitCodeOf(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::Success:
            return kSuccess;
        case UpdateOutcome::Failed:
            return kFailed;
        case UpdateOutcome::Cancelled:
            return kTimeout;
        case UpdateOutcome::NoPort:
        case UpdateOutcome::NoImage:
        case UpdateOutcome::Busy:
            return kUsage;
    }
    return kFailed;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvel-update"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
    // inspect has options of its own and needs no port: it takes over before the parser below.
    if (QCoreApplication::arguments().value(1) == QLatin1String("inspect"))
        return runInspect(QCoreApplication::arguments());

    QtSettingsStore settings(QString::fromLatin1(Form1::kApplicationTitle));
    const QString defaultFolder = imageFolder(QCoreApplication::applicationDirPath(), settings);

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Updates the firmware of a module (update), tests the line to a module in its test "
        "mode (comtest), or tells whether images would be accepted (inspect FILE..., see "
        "inspect --help).\nExit status: 0 success, 1 update error or test failed, 2 bad usage, "
        "port not openable or no usable image, 3 time-out, 130 interrupted."));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addPositionalArgument(QStringLiteral("command"), QStringLiteral("update or comtest"));
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
        QStringLiteral("End a run that has not finished after SEC seconds."),
        QStringLiteral("SEC"));
    const QCommandLineOption transcriptOption(
        QStringLiteral("transcript"),
        QStringLiteral("Write every byte both ways, with time and direction, to FILE."),
        QStringLiteral("FILE"));
    const QCommandLineOption prefixOption(
        QStringLiteral("prefix-port"),
        QStringLiteral("Start every output line with the port, for runs side by side."));
    parser.addOptions({portOption, folderOption, timeoutOption, transcriptOption, prefixOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(parser.helpText()));
        return kSuccess;
    }
    if (parser.isSet(QStringLiteral("version")))
        parser.showVersion();
    const QStringList positional = parser.positionalArguments();
    const bool comTest = positional == QStringList{QStringLiteral("comtest")};
    if (!comTest && positional != QStringList{QStringLiteral("update")})
        return usage(parser, QStringLiteral("Say what to do: update or comtest."));
    if (!parser.isSet(portOption))
        return usage(parser, QStringLiteral("--port is missing."));
    double timeout = 0;
    if (parser.isSet(timeoutOption)) {
        bool ok = false;
        timeout = parser.value(timeoutOption).toDouble(&ok);
        if (!ok || timeout <= 0)
            return usage(parser, QStringLiteral("--timeout needs a number of seconds above 0."));
    }
    const QString port = parser.value(portOption);
    const QString prefix =
        parser.isSet(prefixOption) ? QStringLiteral("[%1] ").arg(port) : QString();

    QtClock clock;
    QtEventPump pump;
    QtSerialDevice serial;
    WireLog wire(serial);
    if (parser.isSet(transcriptOption)) {
        QString error;
        if (!wire.writeTranscriptTo(parser.value(transcriptOption), &error)) {
            std::fprintf(stderr, "%sCannot write the transcript %s: %s\n", qPrintable(prefix),
                         qPrintable(parser.value(transcriptOption)), qPrintable(error));
            return kUsage;
        }
    }
    QtIntervalTimer timer1;
    QtFileSystem files;
    ConsoleStatusView status(stdout, isatty(fileno(stdout)) != 0, prefix);
    ConsoleDialogs dialogs(status, prefix);
    NoPortMenu menu;
    NoSurface surface;
    NoFileChooser chooser;
    NoToolbar toolbar;
    NoShell shell;
    Platform platform{
        clock, pump,    settings, dialogs, wire,    timer1, status,
        menu,  surface, files,    chooser, toolbar, shell,  parser.value(folderOption)};
    Form1 form(platform, MemoryPropertyBag(), QString());
    form.link.onSlowAdapter = [&prefix](const QString& hint) {
        std::fprintf(stderr, "%s%s\n", qPrintable(prefix), qPrintable(hint));
    };

    // "COM3" is the third port as the window maps it; anything else is a device path.
    const QRegularExpression comName(QStringLiteral("^COM([1-9])$"),
                                     QRegularExpression::CaseInsensitiveOption);
    const auto match = comName.match(port);
    int index = 1;
    if (match.hasMatch())
        index = match.captured(1).toInt();
    else
        form.link.MSComm1.pathForPort = [port](int) { return port; };
    form.link.com_Click(index);
    if (!form.link.MSComm1.PortOpen())
        return kUsage;

    const Interruption interruption([&form] {
        form.updater.cancel();
        form.comTest.cancel();
    });
    int result = kFailed;
    if (comTest) {
        result = form.comTest.RunComTest() ? kSuccess : kFailed;
    } else {
        if (timeout > 0) {
            QTimer::singleShot(static_cast<int>(timeout * 1000),
                               [&form] { form.updater.cancel(); });
        }
        QElapsedTimer took;
        took.start();
        const UpdateOutcome outcome = form.updater.StartUpdate();
        const double seconds = took.nsecsElapsed() / 1e9;
        status.finishBar();
        result = exitCodeOf(outcome);
        if (outcome == UpdateOutcome::Success) {
            const double rate = wire.bytesSent() / seconds;
            std::printf(
                "%sSummary: image %s, module %s, %lld bytes sent in %.1f s, %.0f bytes/s, "
                "%.1f %% of the line rate (11520 bytes/s)\n",
                qPrintable(prefix), qPrintable(QFileInfo(form.updater.FirmwareFile).fileName()),
                form.updater.identifiedAs.constData(), static_cast<long long>(wire.bytesSent()),
                seconds, rate, 100.0 * rate / kLineBytesPerSecond);
        } else if (outcome == UpdateOutcome::Cancelled && !interruption.happened()) {
            std::fprintf(stderr, "%sTime-out: the update did not finish within %g s.\n",
                         qPrintable(prefix), timeout);
        }
    }
    form.link.MSComm1.setPortOpen(false);
    form.updater.closeImageFile();
    if (interruption.happened()) {
        std::fprintf(stderr, "%sInterrupted: the port is closed.\n", qPrintable(prefix));
        return kInterrupted;
    }
    return result;
}
