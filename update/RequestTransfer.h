#pragma once

#include "serial/ReplyWaiter.h"
#include "update/EngineOutcome.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarvel {

class UpdateContext;

// The request-driven transfer, for modules that announce themselves: the module paces it,
// asking for every 64 KiB sector with "OK" and ending with "EN".
class RequestTransfer {
  public:
    explicit RequestTransfer(UpdateContext& update) : update_(update) {}

    // Sends the image at FirmwareFile; returns when the update has ended.
    UpdateResult SendFirmwareOnRequest(const QString& FirmwareFile);

  private:
    // One run from "OK" and the sector count to the end mark; nothing when the module fell
    // silent and the transfer may start again.
    std::optional<UpdateResult> requestRun(const QString& FirmwareFile, qint64 sectors);
    std::optional<UpdateResult> sendRequestedSector(qint64 sector, qint64& blocksSent);
    // The wait for the module's request or its end mark, four seconds at most.
    ReplyWaiter::Wait awaitModule(const Expected& expected);

    UpdateContext& update_;
    // What the module was last waited for: "request for sector 1".
    QString awaited_;
};

}  // namespace tarvel
