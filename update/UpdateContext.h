#pragma once

#include "status/Outcome.h"
#include "update/ImageSlot.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

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

    // Where the update stands, for a reason that names the place: "the data of sector 20,
    // block 5", "the request for sector 1"; empty during the identification.
    QString step;
    // The same place as numbers, for the technician's sentence of a reason: the sector (and
    // the block in it) that step concerns; none during the identification.
    std::optional<qint64> stepSector;
    std::optional<int> stepBlock;
    // Sets where the update stands.
    void at(const QString& where, std::optional<qint64> sector = std::nullopt,
            std::optional<int> block = std::nullopt);
    // The reason with the place the update stood at.
    Reason placed(Reason reason) const;
    // What the module has said to the identification so far.
    enum class Heard { Nothing, Echo, Other };
    Heard heard = Heard::Nothing;
    int identificationRounds = 0;
    // Only a module that comes after a whole round of the identification in which nothing
    // answered: the module on the port before has been taken off (a production line's next
    // module). Set by the caller before an update; begin() leaves it as it is.
    bool nextModuleOnly = false;
    double startedAt = 0;
    // Recoveries that brought the module back during this update.
    int recoveries = 0;
    // Why the update ended, once an ending has said so.
    std::optional<Reason> reason;

    // Clears what one update learns, as it starts.
    void begin();
    // The reason of an update stopped from outside (how: timeout, interrupted or cancelled),
    // naming where it stood.
    Reason stoppedReason(Outcome how) const;

    // The first data byte is about to go out; later calls change nothing.
    void dataPhaseStarts();
    // The module's answer proves the last data byte has left the line.
    void dataPhaseEnds();

  private:
    qint64 sentBeforeData_ = 0;
};

}  // namespace tarvel
