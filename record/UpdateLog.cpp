#include "record/UpdateLog.h"

#include "record/ProcessIdentity.h"
#include "serial/WireLog.h"
#include "session/UpdateSession.h"

#include <QDateTime>
#include <QFileInfo>
#include <QRegularExpression>

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

UpdateLog::UpdateLog(QString folder, QString programVersion)
    : folder_(std::move(folder)),
      version_(std::move(programVersion)),
      logs_(folder_ + QStringLiteral("/logs")),
      history_(folder_) {}

QString UpdateLog::lastLog() const {
    const QString path = file_.path();
    return QFileInfo::exists(path) ? path : QString();
}

void UpdateLog::exchangeStarted(const ExchangeStarted& exchange) {
    file_.close();
    warned_ = false;
    rowOpen_ = false;
    progressAt_ = 0;
    const QDateTime started = QDateTime::currentDateTime();
    row_ = HistoryRow();
    row_.kind = exchange.kind == ExchangeKind::Update ? kUpdateKind : kComtestKind;
    row_.started = isoTime(started);
    row_.port = exchange.port;
    row_.device = exchange.device;
    row_.outcome = kRunning;

    QString reason;
    if (!logs_.make(&reason)) {
        fail(logs_.path(), reason);
    } else if (!file_.create(logs_.path(),
                             // Named by when and where, so that the folder sorts by time:
                             // 2026-12-06T14-02-11_COM1.log.
                             started.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss_")) +
                                 portInFileName(exchange.port))) {
        fail(logs_.path(), file_.reason());
    } else {
        const QString port = exchange.port == exchange.device
                                 ? exchange.port
                                 : QStringLiteral("%1 (%2)").arg(exchange.port, exchange.device);
        QByteArray header = QStringLiteral("Tarvel Update Utility %1, %2\nStarted: %3\nPort: %4\n")
                                .arg(version_, row_.kind, row_.started, port)
                                .toUtf8();
        if (exchange.latencyTimerMs)
            header += QByteArray("Adapter latency timer: ") +
                      QByteArray::number(*exchange.latencyTimerMs) + " ms\n";
        line(header.chopped(1));
    }
    startRow();
}

// The row goes in once the log is there, so that a row never names a log that is not yet made.
void UpdateLog::startRow() {
    if (!history_.open()) {
        fail(HistoryStore::fileIn(folder_), history_.reason());
        return;
    }
    if (!history_.importWarning().isEmpty() && onWarning)
        onWarning(history_.importWarning());
    row_.log = file_.path();
    const std::optional<qint64> id = history_.add(row_, ProcessIdentity::current());
    if (!id) {
        fail(HistoryStore::fileIn(folder_), history_.reason());
        return;
    }
    row_.id = *id;
    rowOpen_ = true;
    logs_.prune(history_, kKeptLogs);
}

void UpdateLog::moduleIdentified(const ModuleIdentified& event) {
    row_.module = QString::fromLatin1(event.code);
    line("Module: " + event.code);
    recordProgress(event.t);
}

void UpdateLog::imageChosen(const ImageChosen& event) {
    row_.image = event.path;
    row_.imageSize = event.size < 0 ? std::nullopt : std::optional<qint64>(event.size);
    row_.imageSha256 = QString::fromLatin1(event.sha256);
    QString text = QStringLiteral("Image: %1, %2 bytes, SHA-256 %3")
                       .arg(event.path)
                       .arg(event.size)
                       .arg(row_.imageSha256);
    if (!event.approvedBy.isEmpty())
        text += QStringLiteral(", approved by ") + event.approvedBy;
    line(text.toUtf8());
    recordProgress(event.t);
}

void UpdateLog::statusChanged(const StatusChanged& event) {
    this->event(event.t, "ST",
                QStringLiteral("%1 | %2 | %3").arg(event.word, event.english, event.german));
    recordProgress(event.t);
}

void UpdateLog::activityChanged(const ActivityChanged& event) {
    if (!event.text.isEmpty())
        this->event(event.t, "AC", event.text);
}

// A notice during the exchange (an image passed over, a slow adapter), as the technician saw it.
void UpdateLog::notice(const Notice& event) {
    this->event(event.t, "NT", event.text);
}

void UpdateLog::wireBytes(const WireBytes& event) {
    if (event.bytes.isEmpty())
        return;
    if (event.direction == Direction::Tx)
        row_.bytesSent += event.bytes.size();
    // A block of 16 KiB is a thousand lines: written, and put on the disk, in one go.
    line(
        transcriptLines(event.t * 1000, event.direction == Direction::Tx ? "TX" : "RX", event.bytes)
            .chopped(1));
    if (event.t - progressAt_ >= kProgressSeconds)
        recordProgress(event.t);
}

void UpdateLog::exchangeEnded(const ExchangeEnded& ended) {
    QString outcome = QStringLiteral("Outcome: %1 after %2 s, %3 bytes sent")
                          .arg(ended.word)
                          .arg(ended.seconds, 0, 'f', 1)
                          .arg(ended.bytesSent);
    if (const QString phase = dataPhaseText(ended); !phase.isEmpty())
        outcome += QStringLiteral("; ") + phase;
    line(outcome.toUtf8());
    file_.close();
    row_.finished = isoTime(QDateTime::currentDateTime());
    row_.outcome = ended.word;
    row_.bytesSent = ended.bytesSent;
    recordProgress(ended.seconds);
    rowOpen_ = false;  // the row is complete; what follows belongs to no exchange
}

void UpdateLog::recordProgress(double t) {
    progressAt_ = t;
    if (!rowOpen_)
        return;
    row_.seconds = t;
    row_.log = file_.path();  // empty once a log that held nothing is gone
    if (!history_.update(row_))
        fail(HistoryStore::fileIn(folder_), history_.reason());
}

void UpdateLog::line(const QByteArray& text) {
    if (file_.isOpen() && !file_.write(text + '\n'))
        fail(file_.fileName(), file_.reason());
}

void UpdateLog::event(double t, const char* kind, const QString& text) {
    line(timeColumn(t * 1000) + ' ' + kind + "  " + text.toUtf8());
}

void UpdateLog::fail(const QString& what, const QString& reason) {
    if (warned_)
        return;
    warned_ = true;
    if (onWarning) {
        onWarning(QStringLiteral("The update record cannot be written (%1: %2); updates go on "
                                 "without it.")
                      .arg(what, reason));
    }
}

}  // namespace tarvel
