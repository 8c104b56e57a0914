#include "app/UpdateLog.h"

#include "serial/WireLog.h"

#include <QCryptographicHash>
#include <QDir>
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

// One field of a CSV row: quoted when it holds a separator, a quote or a line break.
QString csvField(const QString& value) {
    if (!value.contains(QLatin1Char(',')) && !value.contains(QLatin1Char('"')) &&
        !value.contains(QLatin1Char('\n')) && !value.contains(QLatin1Char('\r')))
        return value;
    QString quoted = value;
    quoted.replace(QLatin1String("\""), QLatin1String("\"\""));
    return QLatin1Char('"') + quoted + QLatin1Char('"');
}

QByteArray sha256Of(const QString& path) {
    QFile file(path);
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (!file.open(QIODevice::ReadOnly) || !hash.addData(&file))
        return {};
    return hash.result().toHex();
}

}  // namespace

// Shows everything on the window's (or the console's) view, and notes in the log what the
// technician saw.
class UpdateLog::Watcher : public StatusView {
  public:
    Watcher(UpdateLog& log, StatusView& view) : log_(log), view_(view) {}

    void setTitleColor(quint32 color) override { view_.setTitleColor(color); }
    void setTitleText(const QString& text) override {
        word_ = text;
        view_.setTitleText(text);
    }
    void setEnglishText(const QString& text) override {
        english_ = text;
        view_.setEnglishText(text);
    }
    // The German line comes last in every status change.
    void setGermanText(const QString& text) override {
        view_.setGermanText(text);
        log_.event("ST", QStringLiteral("%1 | %2 | %3").arg(word_, english_, text));
    }
    void setElapsedText(const QString& text) override { view_.setElapsedText(text); }
    void setProgressMaximum(int maximum) override { view_.setProgressMaximum(maximum); }
    int progressMaximum() const override { return view_.progressMaximum(); }
    void setProgressValue(int value) override { view_.setProgressValue(value); }
    void setPercentText(const QString& text) override { view_.setPercentText(text); }
    void setActivityText(const QString& text) override {
        view_.setActivityText(text);
        if (!text.isEmpty())
            log_.event("AC", text);
    }
    void setVersionText(const QString& text) override { view_.setVersionText(text); }
    void setFileNameText(const QString& text) override {
        view_.setFileNameText(text);
        log_.imageChosen(text);
    }
    void setBusyPointer(bool busy) override { view_.setBusyPointer(busy); }

  private:
    UpdateLog& log_;
    StatusView& view_;
    QString word_, english_;
};

UpdateLog::UpdateLog(QString folder, QString programVersion)
    : folder_(std::move(folder)), version_(std::move(programVersion)) {}

UpdateLog::~UpdateLog() = default;

StatusView& UpdateLog::watching(StatusView& view) {
    watcher_ = std::make_unique<Watcher>(*this, view);
    return *watcher_;
}

void UpdateLog::begin(const Exchange& exchange) {
    exchange_ = exchange;
    started_ = QDateTime::currentDateTime();
    since_.start();
    image_.clear();
    imageSize_ = -1;
    imageSha256_.clear();
    module_.clear();
    bytesSent_ = 0;
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
    QByteArray header = QStringLiteral("Tarvel Update Utility %1, %2\nStarted: %3\nPort: %4\n")
                            .arg(version_, exchange.kind, isoTime(started_), port)
                            .toUtf8();
    if (exchange.latencyTimerMs)
        header += QByteArray("Adapter latency timer: ") +
                  QByteArray::number(*exchange.latencyTimerMs) + " ms\n";
    line(header.chopped(1));
    pruneLogs();
}

void UpdateLog::noteModule() {
    const QByteArray known = module ? module() : QByteArray();
    if (known.isEmpty() || known == module_)
        return;
    module_ = known;
    line("Module: " + known);
}

void UpdateLog::imageChosen(const QString& path) {
    noteModule();
    image_ = path;
    imageSize_ = QFileInfo(path).size();
    imageSha256_ = sha256Of(path);
    line(QStringLiteral("Image: %1, %2 bytes, SHA-256 %3")
             .arg(path)
             .arg(imageSize_)
             .arg(QString::fromLatin1(imageSha256_))
             .toUtf8());
}

void UpdateLog::wire(const char* direction, const QByteArray& bytes) {
    if (direction[0] == 'T')
        bytesSent_ += bytes.size();
    if (!open_ || bytes.isEmpty())
        return;
    // A block of 16 KiB is a thousand lines: written, and put on the disk, in one go.
    const double at = milliseconds();
    QByteArray text;
    for (qsizetype offset = 0; offset < bytes.size(); offset += 16)
        text += transcriptLine(at, direction, bytes.mid(offset, 16));
    line(text.chopped(1));
}

void UpdateLog::end(const QString& outcome) {
    noteModule();
    const double seconds = milliseconds() / 1000;
    line(QStringLiteral("Outcome: %1 after %2 s, %3 bytes sent")
             .arg(outcome)
             .arg(seconds, 0, 'f', 1)
             .arg(bytesSent_)
             .toUtf8());
    file_.close();
    open_ = false;
    if (exchange_.kind == QLatin1String("update"))
        appendHistory(outcome);
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

// A line of what the technician saw, with its time in the transcript's column.
void UpdateLog::event(const char* kind, const QString& text) {
    line(QByteArray::number(milliseconds(), 'f', 3).rightJustified(10, ' ') + ' ' + kind + "  " +
         text.toUtf8());
}

void UpdateLog::appendHistory(const QString& outcome) {
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
                                image_,
                                imageSize_ < 0 ? QString() : QString::number(imageSize_),
                                QString::fromLatin1(imageSha256_),
                                QString::number(bytesSent_),
                                QString::number(milliseconds() / 1000, 'f', 1),
                                outcome,
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
