#pragma once

#include "record/BackgroundWorker.h"

#include <QByteArray>
#include <QString>

#include <memory>

namespace tarvel {

// The wire's transcript (--transcript), written and flushed on a worker of its own: its lines
// are made in the serial receive handler, and a disk that stalls must not hold up the line.
// Kept whole up to the last byte the disk took, since it is read after something went wrong.
class TranscriptFile {
  public:
    TranscriptFile() = default;
    ~TranscriptFile();
    TranscriptFile(const TranscriptFile&) = delete;
    TranscriptFile& operator=(const TranscriptFile&) = delete;

    // Makes the file empty, here and now, before any exchange; false with the reason when it
    // cannot be written.
    bool open(const QString& path, QString* error);
    // Lines for the file, each ending with a line break; they go in the order they came.
    void append(const QByteArray& lines);
    // Writes what it can within ms milliseconds and returns by then in every case; empty when
    // everything was written, else what is missing, in a sentence for the technician.
    QString finish(int ms);

  private:
    class Writing;
    QString path_;
    std::unique_ptr<Worker<Writing>> worker_;
    bool finished_ = false;
};

}  // namespace tarvel
