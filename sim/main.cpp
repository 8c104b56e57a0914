// tarvel-module-sim: a plug-in module on a pseudo-terminal, for trying the updater without
// hardware, or the module of a recorded exchange, for reproducing it. The first line on stdout
// is the device path to open as the serial port.

#include "platform/ShownText.h"
#include "platform/qt/TerminationSignals.h"
#include "sim/ReplaySimulator.h"
#include "sim/SimOptions.h"
#include "sim/Simulator.h"

#include <QCoreApplication>
#include <QLoggingCategory>

#include <cstdio>

namespace {

// The simulator's messages quote a recording's fields and a device's path: shown as text.
void printMessage(QtMsgType, const QMessageLogContext&, const QString& message) {
    std::fprintf(stderr, "tarvel-module-sim: %s\n", qPrintable(tarvel::shownText(message)));
}

template <typename Program>
int run(QCoreApplication& app, Program& program) {
    QString error;
    if (!program.start(&error)) {
        std::fprintf(stderr, "tarvel-module-sim: %s\n", qPrintable(tarvel::shownText(error)));
        return 1;
    }
    tarvel::TerminationSignals termination([&program] { program.stop("signal"); });

    std::printf("%s\n", qPrintable(program.devicePath()));
    std::fflush(stdout);
    return app.exec();
}

}  // namespace

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName("tarvel-module-sim");
    QCoreApplication::setApplicationVersion(TARVEL_VERSION);
    qInstallMessageHandler(printMessage);
    QLoggingCategory::setFilterRules("tarvel.sim.info=true");

    QString output;
    int exitCode = 0;
    const auto options = tarvel::sim::parseSimOptions(app.arguments(), &output, &exitCode);
    if (!options) {
        std::fprintf(exitCode == 0 ? stdout : stderr, "%s\n", qPrintable(output));
        return exitCode;
    }
    if (options->replay) {
        tarvel::sim::ReplaySimulator replay(*options);
        return run(app, replay);
    }
    tarvel::sim::Simulator simulator(*options);
    return run(app, simulator);
}
