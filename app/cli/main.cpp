// tarvel-update: the update without the window, for production lines and scripts.
//
//   tarvel-update update   --port PORT [--folder DIR] [--timeout SEC]
//   tarvel-update comtest  --port PORT
//
// Exit status of update: 0 update successful; 1 update error; 2 bad usage, port not openable or
// no usable image; 3 time-out. Of comtest: 0 "Serial Communication O.K.", 1 "Serial
// Communication failed!", 2 bad usage or port not openable.
#include "app/Form1.h"
#include "app/cli/ConsoleFrontEnd.h"
#include "platform/PropertyBag.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/QtIntervalTimer.h"
#include "platform/qt/QtSerialDevice.h"
#include "platform/qt/QtSettingsStore.h"
#include "serial/PortNames.h"

#include <QCommandLineParser>
#include <QCoreApplication>
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

enum ExitCode { kSuccess = 0, kUpdateError = 1, kUsage = 2, kTimeout = 3 };

int usage(const QCommandLineParser& parser, const QString& problem) {
    std::fprintf(stderr, "%s\n\n%s", qPrintable(problem), qPrintable(parser.helpText()));
    return kUsage;
}

int exitCodeOf(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::Success:
            return kSuccess;
        case UpdateOutcome::Failed:
            return kUpdateError;
        case UpdateOutcome::Cancelled:
            return kTimeout;
        case UpdateOutcome::NoPort:
        case UpdateOutcome::NoImage:
        case UpdateOutcome::Busy:
            return kUsage;
    }
    return kUpdateError;
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvel-update"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Updates the firmware of a module."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("command"),
                                 QStringLiteral("update: flash the module; comtest: test the line "
                                                "to a module in its test mode."));
    const QCommandLineOption portOption(
        QStringLiteral("port"),
        QStringLiteral("COM1 to COM9 (mapped as in the window) or a device path."),
        QStringLiteral("PORT"));
    const QCommandLineOption folderOption(
        QStringLiteral("folder"),
        QStringLiteral("Where the images are looked up (default: the program's folder)."),
        QStringLiteral("DIR"), QCoreApplication::applicationDirPath());
    const QCommandLineOption timeoutOption(
        QStringLiteral("timeout"),
        QStringLiteral("End a run that has not finished after SEC seconds."),
        QStringLiteral("SEC"));
    parser.addOptions({portOption, folderOption, timeoutOption});
    if (!parser.parse(QCoreApplication::arguments()))
        return usage(parser, parser.errorText());
    if (parser.isSet(QStringLiteral("help"))) {
        std::printf("%s", qPrintable(parser.helpText()));
        return kSuccess;
    }
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

    QtClock clock;
    QtEventPump pump;
    QtSettingsStore settings(QString::fromLatin1(Form1::kApplicationTitle));
    QtSerialDevice serial;
    QtIntervalTimer timer1;
    QtFileSystem files;
    ConsoleStatusView status(stdout, isatty(fileno(stdout)) != 0);
    ConsoleDialogs dialogs(status);
    NoPortMenu menu;
    NoSurface surface;
    NoFileChooser chooser;
    NoToolbar toolbar;
    NoShell shell;
    Platform platform{
        clock, pump,    settings, dialogs, serial,  timer1, status,
        menu,  surface, files,    chooser, toolbar, shell,  parser.value(folderOption)};
    Form1 form(platform, MemoryPropertyBag(), QString());

    // "COM3" is the third port as the window maps it; anything else is a device path.
    const QString port = parser.value(portOption);
    const QRegularExpression comName(QStringLiteral("^COM([1-9])$"),
                                     QRegularExpression::CaseInsensitiveOption);
    const auto match = comName.match(port);
    int index = 1;
    if (match.hasMatch()) {
        index = match.captured(1).toInt();
    } else {
        form.link.MSComm1.pathForPort = [port](int) { return port; };
    }
    form.link.com_Click(index);
    if (!form.link.MSComm1.PortOpen())
        return kUsage;

    if (comTest) {
        const bool passed = form.comTest.RunComTest();
        form.link.MSComm1.setPortOpen(false);
        return passed ? kSuccess : kUpdateError;
    }
    if (timeout > 0)
        QTimer::singleShot(static_cast<int>(timeout * 1000), [&form] { form.updater.cancel(); });
    const UpdateOutcome outcome = form.updater.StartUpdate();
    status.finishBar();
    if (outcome == UpdateOutcome::Cancelled)
        std::fprintf(stderr, "Time-out: the update did not finish within %g s.\n", timeout);
    form.link.MSComm1.setPortOpen(false);
    return exitCodeOf(outcome);
}
