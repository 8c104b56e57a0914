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
// Keeps how the exchange ended.
struct EndListener : ExchangeListener {
    void exchangeEnded(const ExchangeEnded& event) override { ended = event; }
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
    if (!end.ended)
        return kFailed;
    if (end.ended->word == QLatin1String("timeout"))
        warn(QStringLiteral("Time-out: the update did not finish within %1 s.")
                 .arg(exchange.timeout));
    if (exchange.record && !exchange.json && !log.lastLog().isEmpty())
        std::printf("%sLog: %s\n", qPrintable(prefix), qPrintable(log.lastLog()));
    if (end.ended->word == QLatin1String("interrupted"))
        warn(QStringLiteral("Interrupted: the port is closed."));
    return end.ended->exitCode;
}

}  // namespace tarvel
