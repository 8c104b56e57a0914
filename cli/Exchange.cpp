#include "cli/Exchange.h"

#include "central/HistoryForwarder.h"
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
#include "record/UpdateRecord.h"
#include "session/UpdateSession.h"
#include "status/ProgramVersion.h"
#include "update/TrustedKeys.h"

#include <QCoreApplication>

#include <QFileInfo>
#include <QTimer>

#include <cstdio>
#include <functional>
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

// Hands the session's transcript to the file, when one is asked for; false when it cannot be
// written.
bool keepTranscript(const Exchange& exchange, TranscriptFile& transcript, UpdateSession& session,
                    const std::function<void(const QString&)>& warn) {
    if (exchange.transcript.isEmpty())
        return true;
    QString error;
    if (!transcript.open(exchange.transcript, &error)) {
        warn(QStringLiteral("Cannot write the transcript %1: %2").arg(exchange.transcript, error));
        return false;
    }
    session.keepTranscript([&transcript](const QByteArray& lines) { transcript.append(lines); });
    return true;
}

// The line's history only when this run is recorded at all, and forwarded by this process only
// when no station does it for all its updates.
HistoryDestination historyLineFor(const Exchange& exchange, const SettingsStore& settings) {
    HistoryDestination line =
        exchange.record ? HistoryDestination::from(settings) : HistoryDestination{};
    if (!exchange.forward)
        line.database.clear();
    return line;
}

// A port that cannot be opened ends the JSON stream as a refused run.
void endUnopened(const Exchange& exchange, JsonStream& json, const QString& failure) {
    json.endWithoutExchange(
        exchange.communicationTest ? QStringLiteral("comtest") : QStringLiteral("update"),
        exchange.port.comPort > 0 ? QStringLiteral("COM%1").arg(exchange.port.comPort)
                                  : exchange.port.device,
        {ReasonCode::PortUnavailable, failure});
}

// The update, with its limits: --timeout, --switch-wait, and the hint after 30 s without a
// module. switchWaitRanOut: whether --switch-wait ended it.
void runUpdate(const Exchange& exchange, UpdateSession& session, const EndListener& end,
               bool* switchWaitRanOut) {
    if (exchange.timeout > 0) {
        QTimer::singleShot(static_cast<int>(exchange.timeout * 1000),
                           [&session] { session.stop(UpdateSession::StopReason::Timeout); });
    }
    // The window waits for the technician; a script may not have one watching. Waiting for the
    // next module is waiting for the technician to bring it.
    session.updater().setNextModuleOnly(exchange.nextModule);
    QTimer::singleShot(kHintAfterMs, [&] {
        if (session.busy() && !end.identified && !exchange.nextModule)
            session.warn(notKnown(end));
    });
    if (exchange.switchWait > 0) {
        QTimer::singleShot(static_cast<int>(exchange.switchWait * 1000),
                           [&session, &end, switchWaitRanOut] {
                               *switchWaitRanOut = !end.identified;
                               if (!end.identified)
                                   session.stop(UpdateSession::StopReason::NoAnswer);
                           });
    }
    session.runUpdate();
}

// Says how it ended where the outcome alone does not: the limit that ran out, the log, an
// interruption; the exit status.
int endStatus(const Exchange& exchange, const EndListener& end, bool switchWaitRanOut,
              ConsoleListener& console, const std::function<void(const QString&)>& warn) {
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

// The trusted keys' folder. The session is made after the record (UpdateRecord), which it asks
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
    const HistoryDestination line = historyLineFor(exchange, settings);
    UpdateRecord log(stateFolder(), programVersionText(), line.station,
                     forwardingTo(line, stateFolder()), exchange.recordFromModule);
    UpdateSession session({clock, pump, settings, dialogs, serial, timer1, files, nullptr,
                           exchange.folder, keysFolder(settings), &log,
                           exchange.allowOlderRelease});
    if (!keepTranscript(exchange, transcript, session, warn))
        return kExitUsage;
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
        if (exchange.json)
            endUnopened(exchange, json, openFailure);
        return kExitUsage;
    }
    const TerminationSignals termination([&] {
        if (!exchange.json)
            console.interrupted();
        session.stop(UpdateSession::StopReason::Interrupted);
    });
    bool switchWaitRanOut = false;
    if (exchange.communicationTest)
        session.runCommunicationTest();
    else
        runUpdate(exchange, session, end, &switchWaitRanOut);
    session.closePort();
    // What the record holds still goes to the disk, within a bounded wait; what cannot be
    // written by then is named.
    if (const QString missing = log.finish(); !missing.isEmpty())
        warn(missing);
    if (const QString missing = transcript.finish(kTranscriptWaitMs); !missing.isEmpty())
        warn(missing);
    return endStatus(exchange, end, switchWaitRanOut, console, warn);
}

}  // namespace tarvel
