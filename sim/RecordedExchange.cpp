#include "sim/RecordedExchange.h"

#include <QFile>

#include <cctype>

namespace tarvel::sim {

namespace {

// A log begins with the program's name; a transcript with its first timed line.
const QByteArray kLogFirstLine = "Tarvel Update Utility ";
// The bytes of a wire line, "XX " each, padded to sixteen of them; then " |text|".
constexpr qsizetype kHexColumns = 48;

QString neitherLogNorTranscript() {
    return QStringLiteral("neither an update log nor a wire transcript");
}

struct TimedLine {
    double milliseconds = 0;
    QByteArray kind;  // TX, RX, ST, AC or --
    QByteArray rest;  // after the two spaces that follow the kind
};

// "  1234.567 TX  ...": the time right-aligned in ten columns (more for long exchanges).
std::optional<TimedLine> readTimedLine(const QByteArray& line, QString* why) {
    qsizetype at = 0;
    while (at < line.size() && line[at] == ' ')
        ++at;
    const qsizetype space = line.indexOf(' ', at);
    if (space < 0 || line.size() < space + 3) {
        *why = QStringLiteral("cut short");
        return std::nullopt;
    }
    TimedLine timed;
    bool ok = false;
    timed.milliseconds = line.mid(at, space - at).toDouble(&ok);
    if (!ok) {
        *why =
            QStringLiteral("'%1' is not a time").arg(QString::fromLatin1(line.mid(at, space - at)));
        return std::nullopt;
    }
    timed.kind = line.mid(space + 1, 2);
    timed.rest = line.mid(space + 3);
    if (timed.rest.startsWith("  "))
        timed.rest.remove(0, 2);
    else if (!timed.rest.isEmpty())
        timed.kind.clear();  // not a kind this program writes
    return timed;
}

// "65 00 FF <padding> |e..|": the text has one character per byte and closes with a bar.
std::optional<QByteArray> readWireBytes(const QByteArray& rest, QString* why) {
    const qsizetype textLength = rest.size() - kHexColumns - 3;
    if (textLength < 0 || rest.mid(kHexColumns, 2) != " |" || !rest.endsWith('|')) {
        *why = QStringLiteral("cut short");
        return std::nullopt;
    }
    QByteArray bytes;
    for (const QByteArray& token : rest.left(kHexColumns).simplified().split(' ')) {
        const bool isByte = token.size() == 2 && std::isxdigit(static_cast<uchar>(token[0])) &&
                            std::isxdigit(static_cast<uchar>(token[1]));
        if (!isByte) {
            *why = QStringLiteral("'%1' is not a byte in hex").arg(QString::fromLatin1(token));
            return std::nullopt;
        }
        bytes += static_cast<char>(token.toInt(nullptr, 16));
    }
    if (bytes.size() != textLength) {
        *why = QStringLiteral("cut short");
        return std::nullopt;
    }
    return bytes;
}

// Gathers the two sides in the order they were recorded.
class ExchangeBuilder {
  public:
    void host(const QByteArray& bytes, double milliseconds, int lineNumber) {
        // The lines of one write share their time.
        const bool sameWrite = lastWasHost_ && milliseconds == lastWriteAt_;
        lastWriteSize_ = (sameWrite ? lastWriteSize_ : 0) + bytes.size();
        lastWriteAt_ = milliseconds;
        lastWasHost_ = true;
        exchange_.hostLines.append({exchange_.hostBytes.size(), lineNumber, milliseconds});
        exchange_.hostBytes += bytes;
    }
    void module(const QByteArray& bytes, double milliseconds) {
        lastWasHost_ = false;
        const qsizetype after = exchange_.hostBytes.size();
        const double delay = (milliseconds - lastWriteAt_) / 1000;
        QList<ModuleAnswer>& answers = exchange_.answers;
        // The lines of one read share their time too.
        if (!answers.isEmpty() && answers.last().after == after && answers.last().delay == delay)
            answers.last().bytes += bytes;
        else
            answers.append({after, delay, after == 0 ? 0 : lastWriteSize_, bytes});
    }
    RecordedExchange take() { return std::move(exchange_); }

  private:
    RecordedExchange exchange_;
    double lastWriteAt_ = 0;  // before the host's first byte: the opening of the port
    qsizetype lastWriteSize_ = 0;
    bool lastWasHost_ = false;
};

}  // namespace

std::optional<RecordedExchange> parseRecordedExchange(const QByteArray& text, QString* error) {
    QList<QByteArray> lines = text.split('\n');
    if (lines.last().isEmpty())
        lines.removeLast();  // after the last line break
    const bool isLog = !lines.isEmpty() && lines.first().startsWith(kLogFirstLine);
    const QString notOurs = isLog ? QStringLiteral("not a line of an update log")
                                  : QStringLiteral("not a line of a wire transcript");
    auto fail = [error](int lineNumber, const QString& why) {
        *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(why);
        return std::nullopt;
    };
    if (lines.isEmpty())
        return fail(1, neitherLogNorTranscript());

    ExchangeBuilder builder;
    for (int i = 0; i < lines.size(); ++i) {
        QByteArray line = lines.at(i);
        if (line.endsWith('\r'))
            line.chop(1);
        const int lineNumber = i + 1;
        const bool timed =
            !line.isEmpty() && (line[0] == ' ' || (line[0] >= '0' && line[0] <= '9'));
        // A log's untimed lines name the program, the port, the module, the image, the outcome.
        if (!timed && isLog)
            continue;
        if (!timed)
            return fail(lineNumber, lineNumber == 1 ? neitherLogNorTranscript() : notOurs);
        QString why;
        const std::optional<TimedLine> timedLine = readTimedLine(line, &why);
        if (!timedLine)
            return fail(lineNumber, why);
        const QByteArray& kind = timedLine->kind;
        if (kind == "TX" || kind == "RX") {
            const std::optional<QByteArray> bytes = readWireBytes(timedLine->rest, &why);
            if (!bytes)
                return fail(lineNumber, why);
            if (kind == "TX")
                builder.host(*bytes, timedLine->milliseconds, lineNumber);
            else
                builder.module(*bytes, timedLine->milliseconds);
        } else if (kind == "--" || (isLog && (kind == "ST" || kind == "AC"))) {
            continue;  // the line failed; what the technician saw
        } else {
            return fail(lineNumber, lineNumber == 1 ? neitherLogNorTranscript() : notOurs);
        }
    }
    return builder.take();
}

std::optional<RecordedExchange> readRecordedExchange(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, file.errorString());
        return std::nullopt;
    }
    QString why;
    std::optional<RecordedExchange> exchange = parseRecordedExchange(file.readAll(), &why);
    if (!exchange)
        *error = QStringLiteral("%1, %2").arg(path, why);
    return exchange;
}

}  // namespace tarvel::sim
