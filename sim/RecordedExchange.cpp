#include "sim/RecordedExchange.h"

#include "platform/ShownText.h"
#include "platform/qt/QtFileSystem.h"

#include <QByteArrayView>
#include <QRegularExpression>
#include <QVersionNumber>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <iterator>
#include <utility>

namespace tarvel::sim {

namespace {

// A log begins with the program's name; a transcript with its first timed line.
const QByteArray kLogFirstLine = "Tarvel Update Utility ";
// The lines of a log without a time after its first: the rest of its header, the module and the
// image as they became known, and how it ended.
const char* const kUntimedLogLines[] = {
    "Started: ", "Port: ",    "Adapter latency timer: ", "Module: ",
    "Image: ",   "Outcome: ", "Log cut short: "};
// More than any update's record holds: the log of the largest image is about 90 MB.
constexpr qint64 kLargestRecording = qint64(256) << 20;
// The latest time a recorded line may carry, in milliseconds: a week, far beyond any exchange.
constexpr double kLongestExchangeMs = 7 * 24 * 3600 * 1000.0;
// The bytes of a wire line, "XX " each, padded to sixteen of them; then " |text|".
constexpr qsizetype kHexColumns = 48;

QString neitherLogNorTranscript() {
    return QStringLiteral("neither an update log nor a wire transcript");
}

// Why a log's first line is not one whose format this simulator knows: a log of a newer program
// may record the exchange otherwise.
QString headerProblem(QByteArrayView line) {
    static const QRegularExpression kHeader(
        QStringLiteral("^Tarvel Update Utility V([0-9]+\\.[0-9]+\\.[0-9]+), (update|comtest)$"));
    const QRegularExpressionMatch match = kHeader.match(QString::fromUtf8(line));
    if (!match.hasMatch())
        return QStringLiteral("not the first line of an update log");
    const QVersionNumber known = QVersionNumber::fromString(QStringLiteral(TARVEL_VERSION));
    if (QVersionNumber::fromString(match.captured(1)) > known) {
        return QStringLiteral(
                   "a log of version V%1, which this simulator does not know (it reads "
                   "those of V%2 and before)")
            .arg(match.captured(1), known.toString());
    }
    return QString();
}

struct TimedLine {
    double milliseconds = 0;
    QByteArrayView kind;  // TX, RX, ST, AC, NT or --
    QByteArrayView rest;  // after the two spaces that follow the kind
};

// "  1234.567 TX  ...": the time right-aligned in ten columns (more for long exchanges).
std::optional<TimedLine> readTimedLine(QByteArrayView line, QString* why) {
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
    const QByteArrayView time = line.sliced(at, space - at);
    timed.milliseconds = time.toDouble(&ok);
    // nan, inf or 1e308 would make a delay that no timer can wait.
    if (!ok || !std::isfinite(timed.milliseconds) || timed.milliseconds < 0 ||
        timed.milliseconds > kLongestExchangeMs) {
        *why = QStringLiteral("'%1' is not a time").arg(shownText(QString::fromLatin1(time)));
        return std::nullopt;
    }
    timed.kind = line.sliced(space + 1, 2);
    timed.rest = line.sliced(space + 3);
    if (timed.rest.startsWith("  "))
        timed.rest = timed.rest.sliced(2);
    else if (!timed.rest.isEmpty())
        timed.kind = {};  // not a kind this program writes
    return timed;
}

int hexDigit(char c) {
    return c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
}

// "65 00 FF <padding> |e..|": the text has one character per byte and closes with a bar. A log
// holds a line per sixteen bytes sent, so this goes without a copy per line.
bool readWireBytes(QByteArrayView rest, QByteArray* bytes, QString* why) {
    bytes->clear();
    const qsizetype textLength = rest.size() - kHexColumns - 3;
    if (textLength < 0 || rest.sliced(kHexColumns, 2) != " |" || !rest.endsWith('|')) {
        *why = QStringLiteral("cut short");
        return false;
    }
    const QByteArrayView hex = rest.first(kHexColumns);
    for (qsizetype at = 0; at < hex.size(); ++at) {
        if (hex[at] == ' ')
            continue;
        qsizetype end = at;
        while (end < hex.size() && hex[end] != ' ')
            ++end;
        const QByteArrayView token = hex.sliced(at, end - at);
        if (token.size() != 2 || !std::isxdigit(static_cast<uchar>(token[0])) ||
            !std::isxdigit(static_cast<uchar>(token[1]))) {
            *why = QStringLiteral("'%1' is not a byte in hex")
                       .arg(shownText(QString::fromLatin1(token)));
            return false;
        }
        *bytes += static_cast<char>(hexDigit(token[0]) * 16 + hexDigit(token[1]));
        at = end;
    }
    if (bytes->size() != textLength) {
        *why = QStringLiteral("cut short");
        return false;
    }
    return true;
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

// Why a line without a time cannot stand where it does: a log's header and its untimed lines
// may; a transcript has none.
QString untimedProblem(QByteArrayView line, int lineNumber, bool isLog, const QString& notOurs) {
    if (!isLog)
        return lineNumber == 1 ? neitherLogNorTranscript() : notOurs;
    if (lineNumber == 1)
        return headerProblem(line);
    const auto known = [&line](const char* start) { return line.startsWith(start); };
    if (std::any_of(std::begin(kUntimedLogLines), std::end(kUntimedLogLines), known))
        return QString();
    return notOurs;
}

}  // namespace

std::optional<RecordedExchange> parseRecordedExchange(const QByteArray& text, QString* error) {
    const bool isLog = text.startsWith(kLogFirstLine);
    const QString notOurs = isLog ? QStringLiteral("not a line of an update log")
                                  : QStringLiteral("not a line of a wire transcript");
    auto fail = [error](int lineNumber, const QString& why) {
        *error = QStringLiteral("line %1: %2").arg(lineNumber).arg(why);
        return std::nullopt;
    };
    if (text.isEmpty())
        return fail(1, neitherLogNorTranscript());

    ExchangeBuilder builder;
    QByteArray bytes;
    int lineNumber = 0;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0)
            end = text.size();
        QByteArrayView line(text.constData() + start, end - start);
        start = end + 1;
        ++lineNumber;
        if (line.endsWith('\r'))
            line.chop(1);
        const bool timed =
            !line.isEmpty() && (line[0] == ' ' || (line[0] >= '0' && line[0] <= '9'));
        if (!timed) {
            if (const QString problem = untimedProblem(line, lineNumber, isLog, notOurs);
                !problem.isEmpty())
                return fail(lineNumber, problem);
            continue;
        }
        QString why;
        const std::optional<TimedLine> timedLine = readTimedLine(line, &why);
        if (!timedLine)
            return fail(lineNumber, why);
        const QByteArrayView kind = timedLine->kind;
        if (kind == "TX" || kind == "RX") {
            if (!readWireBytes(timedLine->rest, &bytes, &why))
                return fail(lineNumber, why);
            if (kind == "TX")
                builder.host(bytes, timedLine->milliseconds, lineNumber);
            else
                builder.module(bytes, timedLine->milliseconds);
        } else if (kind == "--" ||
                   (isLog && (kind == "ST" || kind == "AC" || kind == "NT" || kind == "MB"))) {
            continue;  // the line failed; what the technician saw
        } else {
            return fail(lineNumber, lineNumber == 1 ? neitherLogNorTranscript() : notOurs);
        }
    }
    return builder.take();
}

std::optional<RecordedExchange> readRecordedExchange(const QString& path, QString* error) {
    // Looked at before it is opened, and opened without waiting: a pipe would wait for a writer
    // for ever, and a device such as /dev/zero never ends.
    const QtFileSystem files;
    QString why = files.whyUnreadable(path);
    const std::unique_ptr<ReadableFile> file =
        why.isEmpty() ? files.openForReading(path, &why) : nullptr;
    if (!file) {
        *error = QStringLiteral("%1: %2").arg(path, why);
        return std::nullopt;
    }
    if (file->size() > kLargestRecording) {
        *error =
            QStringLiteral("%1: it holds %2 bytes, more than the %3 MiB a recording may have")
                .arg(path, QString::number(file->size()), QString::number(kLargestRecording >> 20));
        return std::nullopt;
    }
    std::optional<RecordedExchange> exchange =
        parseRecordedExchange(file->read(file->size()), &why);
    if (!exchange)
        *error = QStringLiteral("%1, %2").arg(path, why);
    return exchange;
}

}  // namespace tarvel::sim
