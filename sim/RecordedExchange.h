#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarvel::sim {

// Where a line of the host's bytes stands in the recording: for naming the place where a host
// parts from it.
struct HostLine {
    qsizetype offset = 0;  // of its first byte in the host's bytes
    int lineNumber = 0;    // in the file, from 1
    double milliseconds = 0;
};

// Bytes the module sent once the host had sent `after` bytes, `delay` seconds after the last of
// them was written.
struct ModuleAnswer {
    qsizetype after = 0;
    double delay = 0;
    // The bytes of the host's last write before the answer: on a paced line the recorded delay
    // includes their time on the wire.
    qsizetype lastWriteSize = 0;
    QByteArray bytes;
};

// Both sides of an exchange as an update log or a wire transcript recorded it.
struct RecordedExchange {
    QByteArray hostBytes;  // everything the host sent, in order
    QList<HostLine> hostLines;
    QList<ModuleAnswer> answers;  // in the order they were received
};

// Reads the exchange from the text of an update log (record/UpdateRecord.cpp) or of a wire
// transcript (serial/WireLog.cpp). Refuses anything else, every line it does not know among them
// and a log of a program newer than this one: *error says "line N: why".
std::optional<RecordedExchange> parseRecordedExchange(const QByteArray& text, QString* error);

// The same from a file; *error then names the file: "FILE, line N: why", or "FILE: why" for a
// file that is no regular one (a FIFO, a device, a folder, a dangling link) or holds more than
// 256 MiB, which is refused without reading it.
std::optional<RecordedExchange> readRecordedExchange(const QString& path, QString* error);

}  // namespace tarvel::sim
