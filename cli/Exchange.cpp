#include "cli/Exchange.h"

#include "cli/ConsoleFrontEnd.h"
#include "cli/JsonStream.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/QtIntervalTimer.h"
#include "platform/qt/QtSerialDevice.h"
#include "platform/qt/StateFolder.h"
#include "platform/qt/TerminationSignals.h"
#include "record/UpdateLog.h"
#include "session/UpdateSession.h"
#include "status/ProgramVersion.h"

#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <optional>
#ifdef Q_OS_WIN
#include <io.h>
#define isatty _isatty
#define fileno _fileno
#else
#include <unistd.h>
#endif

namespace tarvel {

namespace {
// Keeps how the exchange ended, and where its log lies.
struct EndListener : ExchangeListener {
    void logOpened(const LogOpened& event) override { log = event.path; }
    void exchangeEnded(const ExchangeEnded& event) override { ended = event; }
    QString log;
    std::optional<ExchangeEnded> ended;
};
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
    QtIntervalTimer timer1;
    QtFileSystem files;
    ConsoleListener console(stdout, isatty(fileno(stdout)) != 0, prefix);
    ConsoleDialogs dialogs(console, prefix);
    UpdateSession session(
        {clock, pump, settings, dialogs, serial, timer1, files, nullptr, exchange.folder});
    if (!exchange.transcript.isEmpty()) {
        QString error;
        if (!session.writeTranscriptTo(exchange.transcript, &error)) {
            warn(QStringLiteral("Cannot write the transcript %1: %2")
                     .arg(exchange.transcript, error));
            return kExitUsage;
        }
    }
    UpdateLog log(stateFolder(), programVersionText());
    log.onWarning = [&session](const QString& warning) { session.warn(warning); };
    log.onLogOpened = [&session](const QString& path) { session.logOpened(path); };
    if (exchange.record)
        session.subscribe(log);
    JsonStream json(stdout, QStringLiteral(TARVEL_VERSION));
    session.subscribe(exchange.json ? static_cast<ExchangeListener&>(json) : console);
    EndListener end;
    session.subscribe(end);

    QString openFailure;
    if (!session.openPort(exchange.port, &openFailure)) {
        if (exchange.json) {
            json.endWithoutExchange(
                exchange.communicationTest ? QStringLiteral("comtest") : QStringLiteral("update"),
                exchange.port.comPort > 0 ? QStringLiteral("COM%1").arg(exchange.port.comPort)
                                          : exchange.port.device,
                {ReasonCode::PortUnavailable, openFailure});
        }
        return kExitUsage;
    }
    const TerminationSignals termination(
        [&session] { session.stop(UpdateSession::StopReason::Interrupted); });
    if (exchange.communicationTest) {
        session.runCommunicationTest();
    } else {
        if (exchange.timeout > 0) {
            QTimer::singleShot(static_cast<int>(exchange.timeout * 1000),
                               [&session] { session.stop(UpdateSession::StopReason::Timeout); });
        }
        session.runUpdate();
    }
    session.closePort();
    // What the record holds still goes to the disk, within a bounded wait; what cannot be
    // written by then is named.
    if (const QString missing = log.finish(); !missing.isEmpty())
        warn(missing);
    if (!end.ended)
        return kExitFailed;
    if (end.ended->outcome == Outcome::Timeout)
        warn(QStringLiteral("Time-out: the update did not finish within %1 s.")
                 .arg(exchange.timeout));
    if (!exchange.json && !end.log.isEmpty() && QFileInfo::exists(end.log))
        std::printf("%sLog: %s\n", qPrintable(prefix), qPrintable(end.log));
    if (end.ended->outcome == Outcome::Interrupted)
        warn(QStringLiteral("Interrupted: the port is closed."));
    return exitStatusOf(end.ended->outcome);
}

}  // namespace tarvel
