#pragma once

#include "status/Outcome.h"
#include "update/EngineOutcome.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarvel {

class EventPump;
class Recovery;
class SectorWalk;
class UpdateContext;

// The acknowledged transfer, for the probed modules: the host drives it block by block and the
// module acknowledges every step. Every wait for an acknowledgement may bring a silent module
// back; the walk then starts again at the first sector.
class AckTransfer {
  public:
    AckTransfer(UpdateContext& update, Recovery& recovery) : update_(update), recovery_(recovery) {}

    // Sends the image at FirmwareFile to the module of type ModuleType, which has just answered
    // its probe; returns when the update has ended.
    UpdateResult SendFirmwareWithAck(const QString& FirmwareFile, const QByteArray& ModuleType);
    // Data blocks the walk visits; -1 when the image cannot be read or the update was halted.
    int CountDataBlocks(const QString& FirmwareFile);

  private:
    // Every step below: nothing when it went through (and the walk goes on), else how the
    // update ended.
    std::optional<UpdateResult> prepare(const QString& FirmwareFile, qint64* sectors);
    std::optional<UpdateResult> walkImage(qint64 sectors);
    std::optional<UpdateResult> sendAckBlock(qint64 sector, int block, const QByteArray& data);
    std::optional<UpdateResult> writeAckSector(qint64 sector);
    // Sends text and waits for reply; step names the command in a reason ("the data of sector
    // 20, block 5").
    std::optional<UpdateResult> sendAndAwait(const QByteArray& text, const QByteArray& reply,
                                             const QString& step, std::optional<qint64> sector,
                                             std::optional<int> block = std::nullopt);
    // The image changed under the transfer: it could not be read at this block.
    static Reason unreadableAt(qint64 sector, int block);
    // A recovery followed a failure at step: three in a row at the same step end the update.
    bool failedAgain(const QString& step);
    void restartAckWalk(SectorWalk& walk);

    UpdateContext& update_;
    Recovery& recovery_;
    // Data blocks acknowledged since the walk last began.
    int acknowledged_ = 0;
    // The step that failed last and how often in a row, across restarts.
    QString failedStep_;
    int failuresInARow_ = 0;
};

}  // namespace tarvel
