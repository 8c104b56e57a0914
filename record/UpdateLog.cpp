#include "record/UpdateLog.h"

#include "serial/WireLog.h"
#include "session/UpdateSession.h"

#include <QDir>
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

// One field of a CSV row: quoted when it holds a separator, a quote or a line break.
QString csvField(const QString& value) {
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

}  // namespace

UpdateLog::UpdateLog(QString folder, QString programVersion)
    : folder_(std::move(folder)), version_(std::move(programVersion)) {}

void UpdateLog::exchangeStarted(const ExchangeStarted& exchange) {
    exchange_ = exchange;
    started_ = QDateTime::currentDateTime();
    image_ = ImageChosen();
    module_.clear();
    open_ = false;
    if (failed_)
        return;
    const QString logs = folder_ + QStringLiteral("/logs");
    if (!QDir().mkpath(logs)) {
        fail(logs, QStringLiteral("the folder cannot be made"));
        return;
    }
    // Named by when and where, so that the folder sorts by time: 2026-12-06T14-02-11_COM1.log.
    const QString stem =
        started_.toString(QStringLiteral("yyyy-MM-ddTHH-mm-ss_")) + portInFileName(exchange.port);
    QString path = logs + QLatin1Char('/') + stem + QStringLiteral(".log");
    for (int n = 2; QFile::exists(path); ++n)
        path = logs + QLatin1Char('/') + stem + QStringLiteral("-%1.log").arg(n);
    file_.setFileName(path);
    if (!file_.open(QIODevice::WriteOnly)) {
        fail(path, file_.errorString());
        return;
    }
    open_ = true;
    lastLog_ = path;
    const QString port = exchange.port == exchange.device
                             ? exchange.port
                             : QStringLiteral("%1 (%2)").arg(exchange.port, exchange.device);
    const QString kind = exchange.kind == ExchangeKind::Update ? QStringLiteral("update")
                                                               : QStringLiteral("comtest");
    QByteArray header = QStringLiteral("Tarvel Update Utility %1, %2\nStarted: %3\nPort: %4\n")
                            .arg(version_, kind, isoTime(started_), port)
                            .toUtf8();
    if (exchange.latencyTimerMs)
        header += QByteArray("Adapter latency timer: ") +
                  QByteArray::number(*exchange.latencyTimerMs) + " ms\n";
    line(header.chopped(1));
    pruneLogs();
}

void UpdateLog::moduleIdentified(const ModuleIdentified& event) {
    module_ = event.code;
    line("Module: " + event.code);
}

void UpdateLog::imageChosen(const ImageChosen& event) {
    image_ = event;
    QString text = QStringLiteral("Image: %1, %2 bytes, SHA-256 %3")
                       .arg(event.path)
                       .arg(event.size)
                       .arg(QString::fromLatin1(event.sha256));
    if (!event.approvedBy.isEmpty())
        text += QStringLiteral(", approved by ") + event.approvedBy;
    line(text.toUtf8());
}

void UpdateLog::statusChanged(const StatusChanged& event) {
    this->event(event.t, "ST",
                QStringLiteral("%1 | %2 | %3").arg(event.word, event.english, event.german));
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
    if (!open_ || event.bytes.isEmpty())
        return;
    // A block of 16 KiB is a thousand lines: written, and put on the disk, in one go.
    line(
        transcriptLines(event.t * 1000, event.direction == Direction::Tx ? "TX" : "RX", event.bytes)
            .chopped(1));
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
    open_ = false;
    if (ended.kind == ExchangeKind::Update)
        appendHistory(ended);
}

// Every line of the log goes to the disk at once: a log is read after something went wrong.
void UpdateLog::line(const QByteArray& text) {
    if (!open_)
        return;
    if (file_.write(text + '\n') != text.size() + 1 || !file_.flush()) {
        open_ = false;
        fail(file_.fileName(), file_.errorString());
    }
}

void UpdateLog::event(double t, const char* kind, const QString& text) {
    line(timeColumn(t * 1000) + ' ' + kind + "  " + text.toUtf8());
}

void UpdateLog::appendHistory(const ExchangeEnded& ended) {
    if (failed_)
        return;
    QFile history(folder_ + QStringLiteral("/history.csv"));
    const bool fresh = !history.exists();
    if (!history.open(QIODevice::Append)) {
        fail(history.fileName(), history.errorString());
        return;
    }
    QString text;
    if (fresh)
        text = QStringLiteral(
            "started,finished,port,device,module,image,image_size,image_sha256,"
            "bytes_sent,duration_s,outcome,log\r\n");
    const QStringList fields = {isoTime(started_),
                                isoTime(QDateTime::currentDateTime()),
                                exchange_.port,
                                exchange_.device,
                                QString::fromLatin1(module_),
                                image_.path,
                                image_.size < 0 ? QString() : QString::number(image_.size),
                                QString::fromLatin1(image_.sha256),
                                QString::number(ended.bytesSent),
                                QString::number(ended.seconds, 'f', 1),
                                ended.word,
                                lastLog_};
    QStringList quoted;
    for (const QString& field : fields)
        quoted << csvField(field);
    text += quoted.join(QLatin1Char(',')) + QStringLiteral("\r\n");
    if (history.write(text.toUtf8()) < 0)
        fail(history.fileName(), history.errorString());
}

void UpdateLog::pruneLogs() {
    QDir logs(folder_ + QStringLiteral("/logs"));
    const QStringList names = logs.entryList({QStringLiteral("*.log")}, QDir::Files, QDir::Name);
    for (qsizetype i = 0; i + kKeptLogs < names.size(); ++i)
        logs.remove(names.at(i));
}

void UpdateLog::fail(const QString& what, const QString& reason) {
    if (failed_)
        return;
    failed_ = true;
    if (onWarning) {
        onWarning(QStringLiteral("The update record cannot be written (%1: %2); updates go on "
                                 "without it.")
                      .arg(what, reason));
    }
}

}  // namespace tarvel
