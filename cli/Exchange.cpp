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
#include "record/TranscriptFile.h"
#include "record/UpdateLog.h"
#include "session/UpdateSession.h"
#include "status/ProgramVersion.h"
#include "update/TrustedKeys.h"

#include <QCoreApplication>

#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <optional>

namespace tarvel {

namespace {

// How long the switch check and the identification may go without the module making itself
// known before the console says what to look at.
constexpr int kHintAfterMs = 30000;
// How long the end waits for the transcript's last lines; it was written as the bytes passed,
// so only a disk that stalls leaves anything for then.
constexpr int kTranscriptWaitMs = 5000;

// Keeps how the exchange ended, where its log lies, and whether the module has made itself
// known.
struct EndListener : ExchangeListener {
    void exchangeStarted(const ExchangeStarted& event) override { device = event.device; }
    void moduleIdentified(const ModuleIdentified&) override { identified = true; }
    void logOpened(const LogOpened& event) override { log = event.path; }
    void exchangeEnded(const ExchangeEnded& event) override { ended = event; }
    // Anything but the echo of the switch check: a module that answers, though not as one.
    void wireBytes(const WireBytes& event) override {
        if (event.direction == Direction::Rx)
            answered = answered || event.bytes.count('X') < event.bytes.size();
    }
    QString device;
    bool identified = false;
    bool answered = false;
    QString log;
    std::optional<ExchangeEnded> ended;
};

QString noAnswer(const QString& device) {
    return QStringLiteral(
               "no answer from the module on %1: is it connected and powered, is its "
               "setup switch ON?")
        .arg(device);
}

// What the module on the port has said so far, when it has not made itself known.
QString notKnown(const EndListener& end) {
    if (!end.answered)
        return noAnswer(end.device);
    return QStringLiteral(
               "the module on %1 answers, but neither announces itself nor answers a type "
               "probe: is it a module of these kinds, is the line's speed right?")
        .arg(end.device);
}

// The trusted keys' folder. The session is made after the record (UpdateLog), which it asks
// for the newest signed list of a key used before.
QString keysFolder(const SettingsStore& settings) {
    return TrustedKeys::folderFor(settings, QCoreApplication::applicationDirPath());
}

}  // namespace

int runExchange(const Exchange& exchange, SettingsStore& settings) {
    const QString& prefix = exchange.prefix;
    const auto warn = [&prefix](const QString& text) {
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
    TranscriptFile transcript;  // outlives the session, which hands it lines
    // The line's history only when this run is recorded at all, and forwarded by this process
    // only when no station does it for all its updates.
    HistoryLine line = exchange.record ? HistoryLine::from(settings) : HistoryLine{};
    if (!exchange.forward)
        line.database.clear();
    UpdateLog log(stateFolder(), programVersionText(), line, exchange.recordFromModule);
    UpdateSession session({clock, pump, settings, dialogs, serial, timer1, files, nullptr,
                           exchange.folder, keysFolder(settings), &log,
                           exchange.allowOlderRelease});
    if (!exchange.transcript.isEmpty()) {
        QString error;
        if (!transcript.open(exchange.transcript, &error)) {
            warn(QStringLiteral("Cannot write the transcript %1: %2")
                     .arg(exchange.transcript, error));
            return kExitUsage;
        }
        session.keepTranscript(
            [&transcript](const QByteArray& lines) { transcript.append(lines); });
    }
    log.onWarning = [&session](const QString& warning) { session.warn(warning); };
    log.onLogOpened = [&session](const QString& path) { session.logOpened(path); };
    if (exchange.record)
        session.subscribe(log);
    JsonStream json(stdout, QStringLiteral(TARVEL_VERSION));
    session.subscribe(exchange.json ? static_cast<ExchangeListener&>(json) : console);
    EndListener end;
    session.subscribe(end);
    bool switchWaitRanOut = false;

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
        // The window waits for the technician; a script may not have one watching. Waiting for
        // the next module is waiting for the technician to bring it.
        session.updater().setNextModuleOnly(exchange.nextModule);
        QTimer::singleShot(kHintAfterMs, [&] {
            if (session.busy() && !end.identified && !exchange.nextModule)
                session.warn(notKnown(end));
        });
        if (exchange.switchWait > 0) {
            QTimer::singleShot(static_cast<int>(exchange.switchWait * 1000), [&] {
                switchWaitRanOut = !end.identified;
                if (!end.identified)
                    session.stop(UpdateSession::StopReason::NoAnswer);
            });
        }
        session.runUpdate();
    }
    session.closePort();
    // What the record holds still goes to the disk, within a bounded wait; what cannot be
    // written by then is named.
    if (const QString missing = log.finish(); !missing.isEmpty())
        warn(missing);
    if (const QString missing = transcript.finish(kTranscriptWaitMs); !missing.isEmpty())
        warn(missing);
    if (!end.ended)
        return kExitFailed;
    if (switchWaitRanOut)
        warn(QStringLiteral("Stopped after %1 s (--switch-wait): %2")
                 .arg(QString::number(exchange.switchWait), notKnown(end)));
    else if (end.ended->outcome == Outcome::Timeout)
        warn(QStringLiteral("Time-out: the update did not finish within %1 s.")
                 .arg(exchange.timeout));
    if (!exchange.json && !end.log.isEmpty() && QFileInfo::exists(end.log))
        console.line(QStringLiteral("Log: ") + end.log);
    if (end.ended->outcome == Outcome::Interrupted)
        warn(QStringLiteral("Interrupted: the port is closed."));
    return exitStatusOf(end.ended->outcome);
}

}  // namespace tarvel
