#pragma once

#include "status/Outcome.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarvel {

class Clock;
class ReplyWaiter;

// The transfer's data phase, for the figures a technician compares with the line rate: from its
// first data byte handed to the port until the module's answer to the last (the end mark, or
// the last sector's "W!K!"), and the bytes sent meanwhile.
struct DataPhase {
    double start = -1;
    double end = -1;
    qint64 bytes = 0;
};

// Where one update stands: since when it runs, the step it is at (for a reason that names the
// place) and its data phase. The phases move it on; the endings read it.
class UpdateTrack {
  public:
    UpdateTrack(const Clock& clock, const ReplyWaiter& line) : clock_(clock), line_(line) {}

    // A new update starts now, at no step.
    void begin();
    // "the data of sector 20, block 5", "the request for sector 1"; empty during the
    // identification. The sector (and the block in it) that the step concerns come along as
    // numbers, for the technician's sentence of a reason.
    void at(QString step, std::optional<qint64> sector = std::nullopt,
            std::optional<int> block = std::nullopt);
    const QString& step() const { return step_; }
    // The reason with the place the update stood at, unless it names one of its own.
    Reason placed(Reason reason) const;
    double secondsSinceStart() const;

    // A transfer (or its restart) begins: no data has gone out yet.
    void dataPhaseReset() { dataPhase_ = {}; }
    // The first data byte is about to go out; later calls change nothing.
    void dataPhaseStarts();
    // The module's answer proves the last data byte has left the line.
    void dataPhaseEnds();
    const DataPhase& dataPhase() const { return dataPhase_; }

  private:
    const Clock& clock_;
    const ReplyWaiter& line_;
    double startedAt_ = 0;
    QString step_;
    std::optional<qint64> stepSector_;
    std::optional<int> stepBlock_;
    DataPhase dataPhase_;
    qint64 sentBeforeData_ = 0;
};

}  // namespace tarvel
