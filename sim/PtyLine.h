#pragma once

#include "sim/Pacer.h"
#include "sim/UsbAdapter.h"

#include <QByteArray>
#include <QSocketNotifier>
#include <QString>
#include <QTimer>

#include <functional>
#include <memory>

namespace tarvel::sim {

// The module's end of a pseudo-terminal pair. The host opens slavePath() as its serial port;
// the module reads and writes the master, both ways at the line's byte rate when paced. Bytes
// for the host may pass a USB adapter that holds them for its latency timer.
class PtyLine {
  public:
    // bytesPerSecond <= 0: as fast as the pseudo-terminal goes. adapterLatencyMs <= 0: no
    // adapter.
    explicit PtyLine(double bytesPerSecond, int adapterLatencyMs = 0);
    ~PtyLine();
    PtyLine(const PtyLine&) = delete;
    PtyLine& operator=(const PtyLine&) = delete;

    // Names the host's end by a symbolic link at this path too, as udev's by-id links name an
    // adapter: made by open(), removed by close(). A pseudo-terminal's number is given to the
    // next pair as soon as this one is closed, so a host that still holds the old name would
    // find another pair under it; a link of its own never leads anywhere else.
    void setLink(QString path) { link_ = std::move(path); }
    // Opens the pair; on failure says why.
    bool open(QString* error);
    // The name the host opens: the link if one is set, else the pseudo-terminal's own.
    QString slavePath() const { return slavePath_; }

    // Bytes from the host, as they are let through.
    std::function<void(const QByteArray& bytes)> received;

    // Queues bytes for the host; they leave at the line's pace.
    void write(const QByteArray& bytes);
    // Pushes out what is queued, waiting up to timeoutMs; used before the program ends.
    void flush(int timeoutMs);
    // Drops the line: the host sees a hang-up.
    void close();

    // Lets go of the module's own hold on the host's end, once the host has it open, so that
    // the host closing its port shows: hostClosed is called after its last bytes.
    void releaseHostEnd();
    std::function<void()> hostClosed;

  private:
    void readAvailable();
    void writePending();
    void pauseReading(qint64 waiting);
    qint64 bytesWaiting() const;  // the host's bytes not yet read

    int master_ = -1;
    int slave_ = -1;
    QString slavePath_;
    QString link_;
    bool linked_ = false;  // link_ is ours to remove
    Pacer readPace_;
    Pacer writePace_;
    QByteArray pending_;  // not yet on the line
    UsbAdapter adapter_;
    QByteArray toHost_;  // let go by the adapter, not yet taken by the pseudo-terminal
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer readResume_;
    QTimer writeResume_;
};

}  // namespace tarvel::sim
