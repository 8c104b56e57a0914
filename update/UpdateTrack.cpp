#include "update/UpdateTrack.h"

#include "platform/Clock.h"
#include "serial/ReplyWaiter.h"

namespace tarvel {

void UpdateTrack::begin() {
    startedAt_ = clock_.seconds();
    at(QString());
    dataPhase_ = {};
}

void UpdateTrack::at(QString step, std::optional<qint64> sector, std::optional<int> block) {
    step_ = std::move(step);
    stepSector_ = sector;
    stepBlock_ = block;
}

Reason UpdateTrack::placed(Reason reason) const {
    if (!reason.sector) {
        reason.sector = stepSector_;
        reason.block = stepBlock_;
    }
    return reason;
}

double UpdateTrack::secondsSinceStart() const {
    return clock_.seconds() - startedAt_;
}

void UpdateTrack::dataPhaseStarts() {
    if (dataPhase_.start >= 0)
        return;
    dataPhase_.start = clock_.seconds();
    sentBeforeData_ = line_.bytesSent();
}

void UpdateTrack::dataPhaseEnds() {
    dataPhase_.end = clock_.seconds();
    dataPhase_.bytes = line_.bytesSent() - sentBeforeData_;
}

}  // namespace tarvel
