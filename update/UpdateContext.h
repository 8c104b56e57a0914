#pragma once

#include "update/ImageSlot.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace tarvel {

class Clock;
class ReplyWaiter;
class StatusDisplay;

// The transfer's data phase, for the figures a technician compares with the line rate: from its
// first data byte handed to the port until the module's answer to the last (the end mark, or
// the last sector's "W!K!"), and the bytes sent meanwhile.
struct DataPhase {
    double start = -1;
    double end = -1;
    qint64 bytes = 0;
};

// What the phases of one update share: the line to the module, the status display, the image,
// and the fields the update's procedures have always shared by these names.
class UpdateContext {
  public:
    UpdateContext(ReplyWaiter& line, StatusDisplay& status, Clock& clock, const FileSystem& files)
        : line(line), status(status), clock(clock), image(files) {}

    ReplyWaiter& line;
    StatusDisplay& status;
    Clock& clock;
    ImageSlot image;

    // The chosen image's path.
    QString FirmwareFile;
    // A probed module's six-letter type.
    QByteArray ModuleType;
    // The request transfer's count of time-outs; the acknowledged transfer's restart flag.
    qint16 ErrorCount = 0;
    // When the current wait for a reply began, seconds.
    double WaitStart = 0;
    // This update's image, once chosen; empty before.
    QString chosenImage;
    // How the module made itself known: its two-letter announcement or its six-letter type;
    // empty until it did.
    QByteArray identifiedAs;
    DataPhase dataPhase;

    // The first data byte is about to go out; later calls change nothing.
    void dataPhaseStarts();
    // The module's answer proves the last data byte has left the line.
    void dataPhaseEnds();

  private:
    qint64 sentBeforeData_ = 0;
};

}  // namespace tarvel
