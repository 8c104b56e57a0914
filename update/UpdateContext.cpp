#include "update/UpdateContext.h"

#include "platform/Clock.h"
#include "serial/ReplyWaiter.h"

namespace tarvel {

void UpdateContext::dataPhaseStarts() {
    if (dataPhase.start >= 0)
        return;
    dataPhase.start = clock.seconds();
    sentBeforeData_ = line.bytesSent();
}

void UpdateContext::dataPhaseEnds() {
    dataPhase.end = clock.seconds();
    dataPhase.bytes = line.bytesSent() - sentBeforeData_;
}

}  // namespace tarvel
