#include "record/UpdateRecord.h"

#include "platform/ShownText.h"
#include "record/HistoryStore.h"
#include "record/LogFile.h"
#include "record/ProcessIdentity.h"
#include "serial/WireLog.h"
#include "session/UpdateSession.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUuid>

#include <algorithm>
#include <utility>

#include <cstdlib>

namespace tarvel {

namespace {

// ISO 8601 with the local offset, as a support engineer in another time zone needs it:
// 2026-12-06T14:02:11+01:00.
QString isoTime(const QDateTime& time) {
    const int offset = time.offsetFromUtc() / 60;
    return time.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")) +
           QStringLiteral("%1%2:%3")
               .arg(offset < 0 ? QLatin1Char('-') : QLatin1Char('+'))
               .arg(std::abs(offset) / 60, 2, 10, QLatin1Char('0'))
               .arg(std::abs(offset) % 60, 2, 10, QLatin1Char('0'));
}

// The port in a file name: COM1, or a device path without /dev/ and its slashes (ttyUSB0).
QString portInFileName(QString port) {
    if (port.startsWith(QLatin1String("/dev/")))
        port.remove(0, 5);
    return port.replace(QRegularExpression(QStringLiteral("[^A-Za-z0-9._-]")), QStringLiteral("-"));
}

}  // namespace

UpdateRecord::UpdateRecord(QString folder, QString programVersion, QString station,
                           std::unique_ptr<RowForwarding> forwarding, bool fromModule)
    : folder_(std::move(folder)),
      version_(std::move(programVersion)),
      logs_(folder_ + QStringLiteral("/logs")),
      station_(station.isEmpty() ? defaultStationName() : std::move(station)),
      writer_(folder_, station_),
      forwarder_(std::move(forwarding)),
      fromModule_(fromModule) {
    writer_.onWarning = [this](const QString& warning) {
        if (onWarning)
            onWarning(warning);
    };
    if (forwarder_)
        forwarder_->onWarning = writer_.onWarning;
    writer_.onHistoryChanged = [this] {
        if (forwarder_)
            forwarder_->poke();
        if (onHistoryChanged)
            onHistoryChanged();
    };
}

QString UpdateRecord::finish(int ms) {
    QString missing = writer_.finish(ms);
    if (forwarder_) {
        const QString left = forwarder_->finish();
        if (!left.isEmpty())
            missing += (missing.isEmpty() ? QString() : QStringLiteral(" ")) + left;
    }
    return missing;
}

QString UpdateRecord::lastLog() const {
    return QFileInfo::exists(logPath_) ? logPath_ : QString();
}

void UpdateRecord::exchangeStarted(const ExchangeStarted& exchange) {
    unrecorded_.reset();
    running_ = false;
    logPath_.clear();
    if (fromModule_)
        unrecorded_ = exchange;
    else
        begin(exchange);
}

// The log file is made here, before the exchange sends anything (or, recorded from its module
// on, as soon as the module is known): one exclusive create in the state folder. Everything
// written to it goes through the writer.
void UpdateRecord::begin(const ExchangeStarted& exchange) {
    warned_ = false;
    running_ = true;
    received_ = 0;
    logPath_.clear();
    const QDateTime started = QDateTime::currentDateTime();
    row_ = HistoryRow();
    release_.reset();
    row_.kind = exchange.kind == ExchangeKind::Update ? kUpdateKind : kComtestKind;
    row_.started = isoTime(started);
    row_.port = exchange.port;
    row_.device = exchange.device;
    row_.outcome = outcomeWord(Outcome::Running);
    row_.station = station_;
    row_.exchangeId = QUuid::createUuid().toString(QUuid::WithoutBraces);

    auto file = std::make_unique<LogFile>();
    QString reason;
    if (!logs_.make(&reason)) {
        fail(logs_.path(), reason);
        file.reset();
    } else if (!file->create(logs_.path(),
                             // Named by when and where, so that the folder sorts by time:
                             // 2026-12-06T14-02-11_COM1.log.
                             started.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss_")) +
                                 portInFileName(exchange.port))) {
        fail(logs_.path(), file->reason());
        file.reset();
    } else {
        logPath_ = file->fileName();
    }
    writer_.begin(std::move(file), row_, ProcessIdentity::current(), warned_);
    if (logPath_.isEmpty())
        return;
    const QString port = exchange.port == exchange.device ? exchange.port
                                                          : exchange.port + QStringLiteral(" (") +
                                                                exchange.device + QLatin1Char(')');
    QByteArray header = "Tarvel Update Utility " + version_.toUtf8() + ", " + row_.kind.toUtf8() +
                        "\nStarted: " + row_.started.toUtf8() +
                        "\nPort: " + shownText(port).toUtf8();
    if (exchange.latencyTimerMs)
        header +=
            "\nAdapter latency timer: " + QByteArray::number(*exchange.latencyTimerMs) + " ms";
    writeLogLine(header);
    if (onLogOpened)
        onLogOpened(logPath_);
}

void UpdateRecord::moduleIdentified(const ModuleIdentified& event) {
    if (const std::optional<ExchangeStarted> started = std::exchange(unrecorded_, std::nullopt)) {
        begin(*started);
        this->event(event.t, "NT",
                    QStringLiteral("Recorded from here on: the wait for this module is not."));
    }
    row_.module = QString::fromLatin1(event.code);
    writeLogLine("Module: " + event.code);
    recordProgress(event.t, true);
}

// The path comes from a folder anyone may have written: shown as text, so that a newline in a
// name cannot add a line (a false "Outcome:") to the log.
void UpdateRecord::imageChosen(const ImageChosen& event) {
    row_.image = event.path;
    row_.imageSize = event.size < 0 ? std::nullopt : std::optional<qint64>(event.size);
    row_.imageSha256 = QString::fromLatin1(event.sha256);
    QByteArray text = "Image: " + shownText(event.path).toUtf8() + ", " +
                      QByteArray::number(event.size) + " bytes, SHA-256 " + event.sha256;
    if (!event.approvedBy.isEmpty())
        text += ", approved by " + shownText(event.approvedBy).toUtf8();
    row_.signingKey = event.signingKey;
    row_.trustedComment = event.trustedComment;
    row_.olderRelease = event.olderAllowed;
    release_ = event.signingKey.isEmpty() ? std::nullopt : event.signedAt;
    if (!event.signingKey.isEmpty())
        text += ", signed by key " + event.signingKey.toUtf8() + " (\"" +
                shownText(event.trustedComment).toUtf8() + "\")";
    if (!event.olderAllowed.isEmpty())
        text += ", older release " + shownText(event.olderAllowed).toUtf8();
    writeLogLine(text);
    recordProgress(event.t, true);
}

// The first block of the image is on its way: the list that let it through is used, and from
// now on no older list of its key is accepted here. A transfer that fails later proves nothing
// against the list, and a module half written with the newer image must not get an older one.
void UpdateRecord::progressChanged(const ProgressChanged& event) {
    if (event.sector)
        acceptRelease(event.t);
}

void UpdateRecord::acceptRelease(double t) {
    if (!running_ || !release_ || row_.releaseUsed)
        return;
    row_.releaseUsed = release_;
    recordProgress(t, true);
}

ReleaseMemory::Newest UpdateRecord::newestAccepted(const QString& keyId) {
    return writer_.newestRelease(keyId, kReleaseWaitMs);
}

void UpdateRecord::statusChanged(const StatusChanged& event) {
    this->event(
        event.t, "ST",
        event.word + QStringLiteral(" | ") + event.english + QStringLiteral(" | ") + event.german);
    recordProgress(event.t, true);
}

void UpdateRecord::activityChanged(const ActivityChanged& event) {
    if (!event.text.isEmpty())
        this->event(event.t, "AC", event.text);
}

// A notice during the exchange (an image passed over, a slow adapter), as the technician saw it.
void UpdateRecord::notice(const Notice& event) {
    if (running_)
        this->event(event.t, "NT", event.text);
}

// A box's lines joined as the console joins them, so that the log keeps one line per box.
void UpdateRecord::messageShown(const MessageShown& event) {
    if (!running_)
        return;
    this->event(event.t, "MB", event.title + QStringLiteral(" | ") + messageLine(event.text));
}

void UpdateRecord::wireBytes(const WireBytes& event) {
    if (event.bytes.isEmpty() || !running_)
        return;
    if (event.direction == Direction::Tx)
        row_.bytesSent += event.bytes.size();
    QByteArray logged = event.bytes;
    if (event.direction == Direction::Rx) {
        const qint64 room = std::max<qint64>(0, kLoggedReceiveLimit - received_);
        received_ += event.bytes.size();
        logged.truncate(room);
    }
    // A block of 16 KiB is a thousand lines: written, and put on the disk, in one go.
    if (!logged.isEmpty()) {
        writeLogLine(transcriptLines(event.t * 1000, event.direction, logged).chopped(1));
    }
    if (logged.size() < event.bytes.size() &&
        received_ - event.bytes.size() <= kLoggedReceiveLimit) {
        this->event(event.t, "NT",
                    QStringLiteral("The module has sent more than %1 bytes: what it sends from now "
                                   "on is counted, not logged.")
                        .arg(kLoggedReceiveLimit));
    }
    recordProgress(event.t, false);
}

void UpdateRecord::exchangeEnded(const ExchangeEnded& ended) {
    if (!running_)
        return;
    running_ = false;
    // The window's clock as it stopped: it counts from the end of the identification.
    if (!ended.clock.isEmpty())
        this->event(ended.t, "NT", QStringLiteral("The clock stopped at ") + ended.clock + '.');
    if (received_ > kLoggedReceiveLimit) {
        this->event(ended.seconds, "NT",
                    QStringLiteral("The module sent %1 bytes, %2 of them not logged.")
                        .arg(received_)
                        .arg(received_ - kLoggedReceiveLimit));
    }
    const QString word = outcomeWord(ended.outcome);
    QByteArray outcome = "Outcome: " + word.toUtf8() + " after " +
                         QByteArray::number(ended.seconds, 'f', 1) + " s, " +
                         QByteArray::number(ended.bytesSent) + " bytes sent";
    if (const QString phase = dataPhaseText(ended); !phase.isEmpty())
        outcome += "; " + phase.toUtf8();
    outcome += "; reason " + reasonCodeText(ended.reason.code).toUtf8() + ": " +
               shownText(ended.reason.text).toUtf8();
    writeLogLine(outcome);
    // A transfer whose first data byte went out, though no block was confirmed.
    if (ended.dataBytes.value_or(0) > 0 && release_ && !row_.releaseUsed)
        row_.releaseUsed = release_;
    row_.finished = isoTime(QDateTime::currentDateTime());
    row_.outcome = word;
    row_.reasonCode = reasonCodeText(ended.reason.code);
    row_.reason = ended.reason.text;
    row_.bytesSent = ended.bytesSent;
    row_.seconds = ended.seconds;
    writer_.end(row_);
}

void UpdateRecord::recordProgress(double t, bool urgent) {
    if (!running_)
        return;
    row_.seconds = t;
    writer_.update(row_, urgent);
}

void UpdateRecord::writeLogLine(const QByteArray& text) {
    if (!logPath_.isEmpty())
        writer_.append(text + '\n');
}

void UpdateRecord::event(double t, const char* kind, const QString& text) {
    writeLogLine(timeColumn(t * 1000) + ' ' + kind + "  " + shownText(text).toUtf8());
}

void UpdateRecord::fail(const QString& what, const QString& reason) {
    if (warned_)
        return;
    warned_ = true;
    writer_.warnLater(recordWarning(what, reason));
}

}  // namespace tarvel
