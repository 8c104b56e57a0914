#include "serial/WireLog.h"

namespace tarvel {

namespace {
constexpr int kBytesPerLine = 16;
}

QByteArray timeColumn(double milliseconds) {
    return QByteArray::number(milliseconds, 'f', 3).rightJustified(10, ' ');
}

namespace {
QByteArray transcriptLine(double milliseconds, const char* direction, const QByteArray& bytes) {
    QByteArray hex;
    QByteArray text;
    for (char byte : bytes) {
        const auto code = static_cast<unsigned char>(byte);
        hex += QByteArray::number(code, 16).rightJustified(2, '0').toUpper() + ' ';
        text += code >= 0x20 && code < 0x7F ? byte : '.';
    }
    return timeColumn(milliseconds) + ' ' + direction + "  " +
           hex.leftJustified(kBytesPerLine * 3, ' ') + " |" + text + "|\n";
}
}  // namespace

QByteArray transcriptLines(double milliseconds, Direction direction, const QByteArray& bytes) {
    QByteArray lines;
    for (qsizetype at = 0; at < bytes.size(); at += kBytesPerLine)
        lines +=
            transcriptLine(milliseconds, directionText(direction), bytes.mid(at, kBytesPerLine));
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
