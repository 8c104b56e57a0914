#include "app/cli/Exchange.h"

#include "app/Form1.h"
#include "app/UpdateLog.h"
#include "app/Version.h"
#include "app/cli/ConsoleFrontEnd.h"
#include "app/cli/Interruption.h"
#include "platform/PropertyBag.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/QtIntervalTimer.h"
#include "platform/qt/QtSerialDevice.h"
#include "platform/qt/StateFolder.h"
#include "serial/WireLog.h"

#include <QElapsedTimer>
#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace tarvel {

namespace {

constexpr double kLineBytesPerSecond = 11520.0;  // 115200 baud, 10 bits a byte

int exitCodeOf(UpdateOutcome outcome) {
    switch (outcome) {
        case UpdateOutcome::Success:
            return kSuccess;
        case UpdateOutcome::Cancelled:
            return kTimeout;
        case UpdateOutcome::NoPort:
        case UpdateOutcome::NoImage:
        case UpdateOutcome::Refused:
        case UpdateOutcome::Busy:
            return kUsage;
        case UpdateOutcome::Failed:
            break;
    }
    return kFailed;
}

// Both figures a technician can compare: the whole update's pace, and how fully its data phase
// used the line (the fixed waits of identification and ending are not the host's slowness).
void printSummary(const QString& prefix, const Updater& updater, qint64 bytesSent, double seconds) {
    std::printf("%sSummary: image %s, module %s, %lld bytes sent in %.1f s, %.0f bytes/s",
                qPrintable(prefix), qPrintable(QFileInfo(updater.FirmwareFile).fileName()),
                updater.identifiedAs.constData(), static_cast<long long>(bytesSent), seconds,
                bytesSent / seconds);
    const Updater::DataPhase& data = updater.dataPhase;
    if (data.end > data.start && data.start >= 0) {
        const double dataSeconds = data.end - data.start;
        std::printf("; data phase %lld bytes in %.1f s, %.1f %% of the line rate (11520 bytes/s)",
                    static_cast<long long>(data.bytes), dataSeconds,
                    100.0 * data.bytes / dataSeconds / kLineBytesPerSecond);
    }
    std::printf("\n");
}

}  // namespace

int runExchange(const Exchange& exchange, SettingsStore& settings) {
    const QString& prefix = exchange.prefix;
    auto warn = [&prefix](const QString& text) {
        std::fprintf(stderr, "%s%s\n", qPrintable(prefix), qPrintable(text));
        std::fflush(stderr);
    };
    QtClock clock;
    QtEventPump pump;
    QtSerialDevice serial;
    WireLog wire(serial);
    if (!exchange.transcript.isEmpty()) {
        QString error;
        if (!wire.writeTranscriptTo(exchange.transcript, &error)) {
            warn(QStringLiteral("Cannot write the transcript %1: %2")
                     .arg(exchange.transcript, error));
            return kUsage;
        }
    }
    UpdateLog log(stateFolder(), QStringLiteral("V" TARVEL_VERSION));
    log.onWarning = warn;
    Form1* formSeen = nullptr;  // made below, after the views the log watches
    log.module = [&formSeen] { return formSeen ? formSeen->updater.identifiedAs : QByteArray(); };
    wire.onBytes = [&log](const char* direction, const QByteArray& bytes) {
        log.wire(direction, bytes);
    };
    QtIntervalTimer timer1;
    QtFileSystem files;
    ConsoleStatusView console(stdout, isatty(fileno(stdout)) != 0, prefix);
    ConsoleDialogs dialogs(console, prefix);
    NoPortMenu menu;
    NoSurface surface;
    NoFileChooser chooser;
    NoToolbar toolbar;
    NoShell shell;
    Platform platform{clock,
                      pump,
                      settings,
                      dialogs,
                      wire,
                      timer1,
                      exchange.record ? log.watching(console) : console,
                      menu,
                      surface,
                      files,
                      chooser,
                      toolbar,
                      shell,
                      exchange.folder};
    Form1 form(platform, MemoryPropertyBag(), QString());
    formSeen = &form;
    form.link.onSlowAdapter = warn;
    if (exchange.comPort == 0)
        form.link.MSComm1.useDevice(exchange.device);
    form.link.com_Click(exchange.comPort == 0 ? 1 : exchange.comPort);
    if (!form.link.MSComm1.PortOpen())
        return kUsage;

    const Interruption interruption([&form] {
        form.updater.cancel();
        form.comTest.cancel();
    });
    if (exchange.record) {
        log.begin({exchange.comTest ? QStringLiteral("comtest") : QStringLiteral("update"),
                   exchange.port, form.link.MSComm1.devicePath(), serial.latencyTimerMs()});
    }
    int result = kFailed;
    QString outcome;
    if (exchange.comTest) {
        result = form.comTest.RunComTest() ? kSuccess : kFailed;
        outcome = interruption.happened() ? QStringLiteral("interrupted")
                  : result == kSuccess    ? QStringLiteral("success")
                                          : QStringLiteral("error");
    } else {
        if (exchange.timeout > 0) {
            QTimer::singleShot(static_cast<int>(exchange.timeout * 1000),
                               [&form] { form.updater.cancel(); });
        }
        QElapsedTimer took;
        took.start();
        const qint64 sentBefore = wire.bytesSent();
        const UpdateOutcome ended = form.updater.StartUpdate();
        console.finishBar();
        result = exitCodeOf(ended);
        // A run stopped from outside ended by the time-out or by a signal.
        outcome = ended != UpdateOutcome::Cancelled ? outcomeWord(ended)
                  : interruption.happened()         ? QStringLiteral("interrupted")
                                                    : QStringLiteral("timeout");
        if (ended == UpdateOutcome::Success)
            printSummary(prefix, form.updater, wire.bytesSent() - sentBefore,
                         took.nsecsElapsed() / 1e9);
        else if (ended == UpdateOutcome::Cancelled && !interruption.happened())
            warn(QStringLiteral("Time-out: the update did not finish within %1 s.")
                     .arg(exchange.timeout));
    }
    form.link.MSComm1.setPortOpen(false);
    form.updater.closeImageFile();
    if (exchange.record) {
        log.end(outcome);
        if (!log.lastLog().isEmpty())
            std::printf("%sLog: %s\n", qPrintable(prefix), qPrintable(log.lastLog()));
    }
    if (interruption.happened()) {
        warn(QStringLiteral("Interrupted: the port is closed."));
        return kInterrupted;
    }
    return result;
}

}  // namespace tarvel
