#include "serial/WireLog.h"

#include <algorithm>
#include <iterator>

namespace tarvel {

namespace {
constexpr int kBytesPerLine = 16;
}

QByteArray timeColumn(double milliseconds) {
    return QByteArray::number(milliseconds, 'f', 3).rightJustified(10, ' ');
}

// Made a character at a time into one buffer: a 1 KiB block of the acknowledged transfer is
// logged before it is written, so its 65 lines are on the way of every block (about 5 µs, where
// a few short strings per byte took 160 µs).
QByteArray transcriptLines(double milliseconds, Direction direction, const QByteArray& bytes) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    const QByteArray time = timeColumn(milliseconds);
    const char* const directionName = directionText(direction);
    QByteArray lines;
    // Per line: time, blank, direction, two blanks, 48 of hex, " |", the text, "|\n".
    const qsizetype lineLength =
        time.size() + 1 + 2 + 2 + kBytesPerLine * 3 + 2 + kBytesPerLine + 2;
    lines.reserve((bytes.size() + kBytesPerLine - 1) / kBytesPerLine * lineLength);
    for (qsizetype at = 0; at < bytes.size(); at += kBytesPerLine) {
        const qsizetype count = std::min<qsizetype>(kBytesPerLine, bytes.size() - at);
        char hex[kBytesPerLine * 3];
        char text[kBytesPerLine];
        std::fill(std::begin(hex), std::end(hex), ' ');
        for (qsizetype i = 0; i < count; ++i) {
            const auto code = static_cast<unsigned char>(bytes[at + i]);
            hex[i * 3] = kHexDigits[code >> 4];
            hex[i * 3 + 1] = kHexDigits[code & 0x0F];
            text[i] = code >= 0x20 && code < 0x7F ? static_cast<char>(code) : '.';
        }
        lines.append(time).append(' ').append(directionName).append("  ");
        lines.append(hex, sizeof hex).append(" |").append(text, count).append("|\n");
    }
    return lines;
}

WireLog::WireLog(SerialDevice& device) : device_(device) {
    device_.onReadyRead = [this] {
        if (onReadyRead)
            onReadyRead();
    };
    device_.onFailure = [this](const QString& reason) {
        if (onTranscript) {
            onTranscript(timeColumn(since_.nsecsElapsed() / 1e6) +
                         " --  line failed: " + reason.toUtf8() + '\n');
        }
        if (onFailure)
            onFailure(reason);
    };
}

bool WireLog::open(const QString& path, QString* error) {
    if (!since_.isValid())
        since_.start();
    return device_.open(path, error);
}

QByteArray WireLog::readAll() {
    const QByteArray bytes = device_.readAll();
    record(Direction::Rx, bytes);
    return bytes;
}

QByteArray WireLog::read(qint64 maxSize) {
    const QByteArray bytes = device_.read(maxSize);
    record(Direction::Rx, bytes);
    return bytes;
}

bool WireLog::write(const QByteArray& data) {
    record(Direction::Tx, data);
    return device_.write(data);
}

void WireLog::record(Direction direction, const QByteArray& bytes) {
    if (onBytes && !bytes.isEmpty())
        onBytes(direction, bytes);
    (direction == Direction::Tx ? sent_ : received_) += bytes.size();
    if (!onTranscript || bytes.isEmpty())
        return;
    const double milliseconds = since_.isValid() ? since_.nsecsElapsed() / 1e6 : 0.0;
    onTranscript(transcriptLines(milliseconds, direction, bytes));
}

}  // namespace tarvel
