#include "app/Program.h"
#include "app/Screenshot.h"
#include "platform/qt/QtSerialDevice.h"
#include "platform/qt/QtSettingsStore.h"
#include "platform/qt/StateFolder.h"
#include "status/ProgramVersion.h"
#include "update/ImageFolder.h"

#include <QApplication>
#include <QCommandLineParser>

namespace {

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
    const QCommandLineOption version = parser.addVersionOption();
    parser.parse(QCoreApplication::arguments());
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all")))
        parser.showHelp();
    if (parser.isSet(version))
        parser.showVersion();
}

}  // namespace

int main(int argc, char* argv[]) {
    answerHelpOrVersion(argc, argv);
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tarvel::kApplicationName));
    tarvel::QtSettingsStore settings(QString::fromLatin1(tarvel::kApplicationName));
    tarvel::QtSerialDevice serial;
    tarvel::Program program(settings, serial,
                            tarvel::imageFolder(QCoreApplication::applicationDirPath(), settings),
                            tarvel::stateFolder());
    const QString screenshot = qEnvironmentVariable("TARVEL_SCREENSHOT");
    if (!screenshot.isEmpty())
        tarvel::screenshotAndQuit(program.window(), screenshot, 1500);
    program.start();
    return QApplication::exec();
}
