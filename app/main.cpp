#include "app/Form1.h"
#include "app/Program.h"
#include "app/Screenshot.h"
#include "platform/qt/QtSerialDevice.h"
#include "platform/qt/QtSettingsStore.h"
#include "update/ImageFolder.h"

#include <QApplication>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QString::fromLatin1(tarvel::Form1::kApplicationTitle));
    tarvel::QtSettingsStore settings(QString::fromLatin1(tarvel::Form1::kApplicationTitle));
    tarvel::QtSerialDevice serial;
    tarvel::Program program(settings, serial,
                            tarvel::imageFolder(QCoreApplication::applicationDirPath(), settings));
    const QString screenshot = qEnvironmentVariable("TARVEL_SCREENSHOT");
    if (!screenshot.isEmpty())
        tarvel::screenshotAndQuit(program.window(), screenshot, 1500);
    program.start();
    return QApplication::exec();
}
