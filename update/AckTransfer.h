#pragma once

#include "status/Outcome.h"
#include "update/UpdateOutcome.h"

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

    UpdateOutcome SendFirmwareWithAck();
    // Data blocks the walk visits; -1 when the image cannot be read or the update was halted.
    int CountDataBlocks();

  private:
    // Done: on to the next. Halted: the update ends by its halt. GaveUp: the recovery gave the
    // module up and has shown so.
    enum class Step { Done, Halted, GaveUp };
    Step sendAckBlock(qint64 sector, int block, const QByteArray& data);
    Step writeAckSector(qint64 sector);
    // Sends text and waits for reply; step names the command in a reason ("the data of sector
    // 20, block 5").
    static Reason unreadableAt(qint64 sector, int block);
    Step sendAndAwait(const QByteArray& text, const QByteArray& reply, const QString& step,
                      std::optional<qint64> sector, std::optional<int> block = std::nullopt);
    // A recovery followed a failure at step: three in a row at the same step end the update.
    bool failedAgain(const QString& step);
    void restartAckWalk(SectorWalk& walk);
    UpdateOutcome endAckStep(Step step);

    UpdateContext& update_;
    Recovery& recovery_;
    // Data blocks acknowledged since the walk last began.
    int acknowledged_ = 0;
    // The step that failed last and how often in a row, across restarts.
    QString failedStep_;
    int failuresInARow_ = 0;
};

}  // namespace tarvel
