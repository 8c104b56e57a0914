#include "app/HistoryWindow.h"
#include "app/Program.h"
#include "app/Screenshot.h"
#include "app/StationWindow.h"
#include "platform/qt/QtSerialDevice.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/StateFolder.h"
#include "record/BackgroundWorker.h"
#include "station/StationPort.h"
#include "station/StationPorts.h"
#include "status/ProgramVersion.h"
#include "update/ImageFolder.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>

#include <cstdio>
#include <cstdlib>
#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace {

// Prints the answer to --help or --version and ends the program. On Windows the window program
// has no console of its own, and QCommandLineParser would answer in a message box: the text goes
// to where the standard output was redirected, else to the console of the command prompt that
// started the program.
[[noreturn]] void answer(const QString& text) {
#ifdef Q_OS_WIN
    if (!GetStdHandle(STD_OUTPUT_HANDLE) && AttachConsole(ATTACH_PARENT_PROCESS))
        std::freopen("CONOUT$", "w", stdout);
#endif
    std::fputs(qPrintable(text), stdout);
    std::fflush(stdout);
    std::exit(EXIT_SUCCESS);
}

// Answers --help and --version before the window's application exists, so that both work
// without a display (the manual page is made from them at build time). Anything else, Qt's own
// options such as -platform or -style included, is left to QApplication.
void answerHelpOrVersion(int argc, char* argv[]) {
    QCoreApplication commandLine(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tarvel-update-utility"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TARVEL_VERSION));
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Writes new firmware into a plug-in module over a serial port, in a window: press "
        "Update (F1) with the module's setup switch ON."));
    const QCommandLineOption help = parser.addHelpOption();
    parser.addOption(QCommandLineOption(
        QStringLiteral("station"),
        QStringLiteral("Open the station window: one tile per port of Ports= in section [Station] "
                       "of the settings, each port's module updated at the same time (also "
                       "without this option when Window=on is set there).")));
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        answer(parser.helpText());
    if (parser.isSet(version)) {
        answer(QStringLiteral("%1 %2\n").arg(QCoreApplication::applicationName(),
                                             QCoreApplication::applicationVersion()));
    }
}

// The station window instead of the one-module window: asked for, or set up in the settings.
bool stationWanted(const tarvel::SettingsStore& settings) {
    const QString section = QStringLiteral("Station");
    return QCoreApplication::arguments().contains(QStringLiteral("--station")) ||
           (settings.value(section, QStringLiteral("Window"), QString()) == QLatin1String("on") &&
            !tarvel::stationPortsSetting(settings).isEmpty());
}

int runStationWindow(tarvel::SettingsStore& settings) {
    const QString state = tarvel::stateFolder();
    tarvel::StationWindow window(
        settings, {tarvel::updateProgramBeside(),
                   tarvel::imageFolder(QCoreApplication::applicationDirPath(), settings), state});
    QPointer<tarvel::HistoryWindow> history;
    window.onShowHistory = [&] {
        if (!history)
            history = new tarvel::HistoryWindow(state, settings, &window);
        history->show();
        history->refresh();
        history->raise();
    };
    const QString screenshot = qEnvironmentVariable("TARVEL_SCREENSHOT");
    if (!screenshot.isEmpty())
        tarvel::screenshotAndQuit(window, screenshot, 1500);
    window.showMaximized();
    return QApplication::exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    answerHelpOrVersion(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tarvel::kApplicationName));
    tarvel::QtSettingsStore settings(QString::fromLatin1(tarvel::kApplicationName));
    if (stationWanted(settings))
        return tarvel::BackgroundWorker::endProcess(runStationWindow(settings));
    tarvel::QtSerialDevice serial;
    int status = 0;
    {
        tarvel::Program program(
            settings, serial, tarvel::imageFolder(QCoreApplication::applicationDirPath(), settings),
            tarvel::stateFolder());
        const QString screenshot = qEnvironmentVariable("TARVEL_SCREENSHOT");
        if (!screenshot.isEmpty())
            tarvel::screenshotAndQuit(program.window(), screenshot, 1500);
        program.start();
        status = QApplication::exec();
        // The record's last rows may still wait for a history that another program holds.
        if (const QString missing = program.log().finish(); !missing.isEmpty()) {
            program.dialogs().messageBox(missing, QString(), tarvel::MessageIcon::Information,
                                         tarvel::MessageButtons::Ok);
        }
    }
    // A worker that a disk or the network still holds is left behind: the process ends without
    // taking anything from under it.
    return tarvel::BackgroundWorker::endProcess(status);
}
