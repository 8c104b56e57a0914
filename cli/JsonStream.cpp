#include "cli/JsonStream.h"

#include "station/OutcomeJson.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>

#include <cmath>

namespace tarvel {

namespace {
// Colours travel as 0x00BBGGRR; the stream writes them as web colours.
QString webColor(quint32 color) {
    return QStringLiteral("#%1%2%3")
        .arg(color & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((color >> 8) & 0xFF, 2, 16, QLatin1Char('0'))
        .arg((color >> 16) & 0xFF, 2, 16, QLatin1Char('0'));
}

template <typename T>
QJsonValue orNull(const std::optional<T>& value) {
    return value ? QJsonValue(static_cast<double>(*value)) : QJsonValue();
}

double rounded(double value, int decimals) {
    const double scale = std::pow(10.0, decimals);
    return std::round(value * scale) / scale;
}

// A path as the system spells it: its text, and where that text cannot hold the name's bytes
// (a name that is not valid UTF-8), the bytes in hex beside it.
void addPath(QJsonObject& fields, const char* key, const QString& path) {
    fields.insert(QLatin1String(key), path);
    const QByteArray bytes = QFile::encodeName(path);
    if (QString::fromUtf8(bytes).toUtf8() != bytes)
        fields.insert(QLatin1String(key) + QLatin1String("_bytes"),
                      QString::fromLatin1(bytes.toHex()));
}
}  // namespace

// "t" and "event" lead every line, for a reader that looks at a line by eye.
void JsonStream::write(double t, const char* event, QJsonObject fields) {
    // A JSON array serialises its values in order: [t,"event"].
    const QByteArray lead = QJsonDocument(QJsonArray{rounded(t, 3), QLatin1String(event)})
                                .toJson(QJsonDocument::Compact);
    const int comma = lead.indexOf(',');
    QByteArray line = "{\"t\":" + lead.mid(1, comma - 1) + ",\"event\":" + lead.mid(comma + 1);
    line.chop(1);  // the array's "]"
    line += fields.isEmpty() ? QByteArray("}")
                             : ',' + QJsonDocument(fields).toJson(QJsonDocument::Compact).mid(1);
    std::fputs(line.append('\n').constData(), out_);
    std::fflush(out_);
}

void JsonStream::exchangeStarted(const ExchangeStarted& event) {
    log_.clear();
    QJsonObject fields{
        {"schema", kSchema},
        {"version", version_},
        {"kind", event.kind == ExchangeKind::Update ? "update" : "comtest"},
        {"port", event.port},
        {"latency_timer_ms", orNull(event.latencyTimerMs)},
    };
    addPath(fields, "device", event.device);
    write(event.t, "start", fields);
}

// The success word holds both languages ("Update Successful / Update erfolgreich") and no
// lines: its halves are the lines a reader looks for.
void JsonStream::statusChanged(const StatusChanged& event) {
    const bool halves = event.english.isEmpty() && event.german.isEmpty() &&
                        event.word.contains(QStringLiteral(" / "));
    write(event.t, "status",
          {{"word", event.word},
           {"english", halves ? event.word.section(QStringLiteral(" / "), 0, 0) : event.english},
           {"german", halves ? event.word.section(QStringLiteral(" / "), 1) : event.german},
           {"color", webColor(event.color)}});
}

void JsonStream::activityChanged(const ActivityChanged& event) {
    write(event.t, "activity", {{"text", event.text}});
}

void JsonStream::progressChanged(const ProgressChanged& event) {
    write(event.t, "progress",
          {{"percent", event.percent},
           {"value", event.value},
           {"maximum", event.maximum},
           {"sector", orNull(event.sector)},
           {"block", orNull(event.block)}});
}

void JsonStream::imageChosen(const ImageChosen& event) {
    QJsonObject fields{
        {"size", event.size < 0 ? QJsonValue() : QJsonValue(static_cast<double>(event.size))},
        {"sha256", event.sha256.isEmpty() ? QJsonValue() : QJsonValue(QString(event.sha256))},
    };
    addPath(fields, "path", event.path);
    // The list's signature where one holds; its comment is the release team's text, as signed.
    if (!event.signingKey.isEmpty()) {
        fields.insert("signing_key", event.signingKey);
        fields.insert("trusted_comment", event.trustedComment);
        fields.insert("older_release",
                      event.olderAllowed.isEmpty() ? QJsonValue() : QJsonValue(event.olderAllowed));
    }
    write(event.t, "image", fields);
}

void JsonStream::moduleIdentified(const ModuleIdentified& event) {
    write(event.t, "module", {{"code", QString::fromLatin1(event.code)}});
}

void JsonStream::moduleLeft(const ModuleLeft& event) {
    write(event.t, "module-left", {});
}

void JsonStream::notice(const Notice& event) {
    write(event.t, event.kind == Notice::Kind::AdapterHint ? "hint" : "warning",
          {{"text", event.text}});
}

void JsonStream::messageShown(const MessageShown& event) {
    write(event.t, "message",
          {{"text", messageLine(event.text)}, {"title", event.title}, {"error", event.error}});
}

void JsonStream::logOpened(const LogOpened& event) {
    log_ = event.path;
}

void JsonStream::exchangeEnded(const ExchangeEnded& event) {
    write(event.t, "outcome",
          outcomeFields({event.outcome, event.reason.code, event.reason.text, event.bytesSent,
                         event.seconds, event.dataLineShare, log_}));
}

// The start and the outcome of a run refused before it became an exchange, as any run has them.
void JsonStream::endWithoutExchange(const QString& kind, const QString& port,
                                    const Reason& reason) {
    QJsonObject start{
        {"schema", kSchema},
        {"version", version_},
        {"kind", kind.isEmpty() ? QJsonValue() : QJsonValue(kind)},
        {"port", port.isEmpty() ? QJsonValue() : QJsonValue(port)},
        {"latency_timer_ms", QJsonValue()},
    };
    if (port.isEmpty())
        start.insert(QLatin1String("device"), QJsonValue());
    else
        addPath(start, "device", port);
    write(0, "start", start);
    OutcomeRecord refused;
    refused.outcome = Outcome::Refused;
    refused.code = reason.code;
    refused.reason = reason.text;
    write(0, "outcome", outcomeFields(refused));
}

}  // namespace tarvel
