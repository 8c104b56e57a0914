#include "cli/Exchange.h"

#include "cli/ConsoleFrontEnd.h"
#include "cli/JsonStream.h"
#include "cli/TerminalWidth.h"
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

#include <QTimer>

#include <cstdio>
#include <optional>

namespace tarvel {

namespace {

// How long the switch check and the identification may go without the module making itself
// known before the console says what to look at.
constexpr int kHintAfterMs = 30000;

// Keeps how the exchange ended, and whether the module has made itself known.
struct EndListener : ExchangeListener {
    void exchangeStarted(const ExchangeStarted& event) override { device = event.device; }
    void moduleIdentified(const ModuleIdentified&) override { identified = true; }
    void exchangeEnded(const ExchangeEnded& event) override { ended = event; }
    QString device;
    bool identified = false;
    std::optional<ExchangeEnded> ended;
};

QString noAnswer(const QString& device) {
    return QStringLiteral(
               "no answer from the module on %1: is it connected and powered, is its "
               "setup switch ON?")
        .arg(device);
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
    QtIntervalTimer timer1;
    QtFileSystem files;
    ConsoleListener console(stdout, isTerminal(stdout), prefix);
    ConsoleDialogs dialogs(console, prefix);
    const bool nobodyChooses = false;
    UpdateSession session(
        {clock, pump, settings, dialogs, serial, timer1, files, nullptr, exchange.folder},
        nobodyChooses);
    if (!exchange.transcript.isEmpty()) {
        QString error;
        if (!session.writeTranscriptTo(exchange.transcript, &error)) {
            warn(QStringLiteral("Cannot write the transcript %1: %2")
                     .arg(exchange.transcript, error));
            return kUsage;
        }
    }
    UpdateLog log(stateFolder(), programVersionText());
    log.onWarning = [&session](const QString& warning) { session.warn(warning); };
    if (exchange.record)
        session.subscribe(log);
    // After the record, so that the outcome can name the finished log.
    JsonStream json(stdout, QStringLiteral(TARVEL_VERSION), [&]() -> std::optional<QString> {
        if (!exchange.record || log.lastLog().isEmpty())
            return std::nullopt;
        return log.lastLog();
    });
    session.subscribe(exchange.json ? static_cast<ExchangeListener&>(json) : console);
    EndListener end;
    session.subscribe(end);

    if (!session.openPort(exchange.port)) {
        if (exchange.json)
            json.endWithoutExchange(kUsage);
        return kUsage;
    }
    const TerminationSignals termination([&] {
        if (!exchange.json)
            console.interrupted();
        session.stop(UpdateSession::StopReason::Interrupted);
    });
    if (exchange.communicationTest) {
        session.runCommunicationTest();
    } else {
        if (exchange.timeout > 0) {
            QTimer::singleShot(static_cast<int>(exchange.timeout * 1000),
                               [&session] { session.stop(UpdateSession::StopReason::Timeout); });
        }
        // The window waits for the technician; a script may not have one watching.
        QTimer::singleShot(kHintAfterMs, [&] {
            if (session.busy() && !end.identified)
                session.warn(noAnswer(end.device));
        });
        if (exchange.switchWait > 0) {
            QTimer::singleShot(static_cast<int>(exchange.switchWait * 1000), [&] {
                if (!end.identified)
                    session.stop(UpdateSession::StopReason::NoAnswer);
            });
        }
        session.runUpdate();
    }
    session.closePort();
    if (!end.ended)
        return kFailed;
    if (end.ended->exitCode == kNoAnswer)
        warn(QStringLiteral("Stopped after %1 s (--switch-wait): %2")
                 .arg(exchange.switchWait)
                 .arg(noAnswer(end.device)));
    else if (end.ended->word == QLatin1String("timeout"))
        warn(QStringLiteral("Time-out: the update did not finish within %1 s.")
                 .arg(exchange.timeout));
    if (exchange.record && !exchange.json && !log.lastLog().isEmpty())
        std::printf("%sLog: %s\n", qPrintable(prefix), qPrintable(log.lastLog()));
    if (end.ended->word == QLatin1String("interrupted"))
        warn(QStringLiteral("Interrupted: the port is closed."));
    return end.ended->exitCode;
}

}  // namespace tarvel
