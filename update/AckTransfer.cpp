#include "update/AckTransfer.h"

#include "platform/FileSystem.h"
#include "serial/ReplyWaiter.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ImageCheck.h"
#include "update/Recovery.h"
#include "update/SectorWalk.h"
#include "update/UpdateContext.h"
#include "update/UpdateEnding.h"

namespace tarvel {

namespace {
// Image sector 0 is the module's sector 19: the sectors below hold what the module starts with,
// which an update never touches.
constexpr int kFirstModuleSector = 19;
// Failures of the same step in a row, across the restarts that follow them. A module that
// rejects one block, or gets lost at the same place after every recovery, would otherwise keep
// the update restarting for ever; restarts that get further are not limited.
constexpr int kMaxFailuresInARow = 3;

char xorOf(const QByteArray& block) {
    unsigned char sum = 0;
    for (char byte : block)
        sum ^= static_cast<unsigned char>(byte);
    return static_cast<char>(sum);
}

QByteArray command(char letter, qint64 argument) {
    return QByteArray(1, letter) + static_cast<char>(argument);
}
}  // namespace

int AckTransfer::CountDataBlocks() {
    if (!update_.image.open(update_.FirmwareFile))
        return -1;
    // Events keep flowing during a long count, and may end it.
    const std::optional<WalkCounts> counts =
        walkAckImage(update_.image.file(), [this] { return update_.line.processPending(); });
    return counts ? counts->dataBlocks : -1;
}

UpdateOutcome AckTransfer::SendFirmwareWithAck() {
    ReplyWaiter& line = update_.line;
    StatusDisplay& status = update_.status;
    if (!update_.image.open(update_.FirmwareFile))
        return refuseImage(update_, cannotBeOpened());
    const qint64 length = update_.image.file().size();
    if (const QString problem = lengthProblem(TransferKind::Ack, length); !problem.isEmpty())
        return refuseImage(update_, problem);
    const qint64 sectors = sectorsOf(TransferKind::Ack, length);

    status.ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                      texts::runningGerman());
    const int dataBlocks = CountDataBlocks();
    if (line.halted())
        return endHalted(update_);
    if (dataBlocks < 0)
        return refuseImage(update_, cannotBeRead());
    if (dataBlocks == 0)
        return refuseImage(update_, holdsNoData());
    status.showProgress(0, dataBlocks * kAckBlockSize, QStringLiteral("0%"));
    status.setBusy(true);
    if (!update_.image.open(update_.FirmwareFile))
        return refuseImage(update_, cannotBeOpened());
    status.ShowActivity(QStringLiteral("Waiting for response..."));

    update_.ErrorCount = 0;
    recovery_.restarted();
    failedStep_.clear();
    failuresInARow_ = 0;
    if (!line.sendExpecting(update_.ModuleType))
        return endHalted(update_);
    line.discard();
    update_.dataPhase = {};

    acknowledged_ = 0;
    SectorWalk walk(sectors);
    while (!walk.atEnd()) {
        walk.enterSector();
        bool sectorDone = false;
        while (!sectorDone) {
            if (line.halted())
                return endHalted(update_);
            if (recovery_.restartPending())
                restartAckWalk(walk);
            update_.ErrorCount = 0;
            const QByteArray data = update_.image.file().readAt(
                ackBlockOffset(walk.sector(), walk.block()), kAckBlockSize);
            if (!line.processPending())
                return endHalted(update_);
            // The image changed under the transfer: never report such an update as done.
            if (data.size() != kAckBlockSize)
                return endFailed(update_, unreadableAt(walk.sector(), walk.block()));
            update_.dataPhaseStarts();
            if (const Step step = sendAckBlock(walk.sector(), walk.block(), data);
                step != Step::Done)
                return endAckStep(step);
            sectorDone = walk.finishBlock(isBlank(data));
        }
        if (const Step step = writeAckSector(walk.sector()); step != Step::Done)
            return endAckStep(step);
        walk.nextSector();
        // A recovery during the last write: the walk starts again instead of quitting.
        if (walk.atEnd() && recovery_.restartPending())
            walk.restart();
    }

    // The last sector's "W!K!" has proved that every block has left the line.
    update_.dataPhaseEnds();
    if (!line.sendExpecting("q"))
        return endHalted(update_);
    return endSucceeded(update_);
}

// The image changed under the transfer: it could not be read at this block.
Reason AckTransfer::unreadableAt(qint64 sector, int block) {
    const qint64 moduleSector = sector + kFirstModuleSector;
    return {ReasonCode::ImageRefused,
            QStringLiteral("The image could not be read at sector %1, block %2.")
                .arg(QString::number(moduleSector), QString::number(block)),
            moduleSector, block};
}

// The module was brought back: it starts again at the first block, and so does the progress.
void AckTransfer::restartAckWalk(SectorWalk& walk) {
    update_.status.ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                              texts::runningGerman());
    walk.restart();
    acknowledged_ = 0;
    update_.status.showProgress(0, update_.status.progressMaximum(), QStringLiteral("0%"));
    recovery_.restarted();
}

// A data block is announced, then sent with its checksum; a blank one the module fills itself.
AckTransfer::Step AckTransfer::sendAckBlock(qint64 sector, int block, const QByteArray& data) {
    const qint64 moduleSector = sector + kFirstModuleSector;
    const QString place = QStringLiteral("sector %1, block %2")
                              .arg(QString::number(moduleSector), QString::number(block));
    if (isBlank(data)) {
        const Step step =
            sendAndAwait(command('f', block), "K!", QStringLiteral("the fill command of ") + place,
                         moduleSector, block);
        if (step == Step::Done) {
            update_.status.ShowActivity(QStringLiteral("Fill Sector") + number(moduleSector) +
                                        QStringLiteral("   Block") + number(block));
        }
        return step;
    }
    if (const Step step =
            sendAndAwait(command('e', block), "K!", QStringLiteral("the announcement of ") + place,
                         moduleSector, block);
        step != Step::Done)
        return step;
    update_.status.ShowActivity(QStringLiteral("Sending Sector") + number(moduleSector) +
                                QStringLiteral("   Block") + number(block));
    if (const Step step = sendAndAwait(data + xorOf(data), "K!",
                                       QStringLiteral("the data of ") + place, moduleSector, block);
        step != Step::Done)
        return step;
    // A block acknowledged only after a recovery goes out again with the restarted walk: it
    // does not count yet.
    if (!recovery_.restartPending()) {
        ++acknowledged_;
        update_.status.showProgress(static_cast<qint64>(acknowledged_) * kAckBlockSize,
                                    moduleSector, block);
    }
    return Step::Done;
}

AckTransfer::Step AckTransfer::writeAckSector(qint64 sector) {
    const qint64 moduleSector = sector + kFirstModuleSector;
    update_.status.ShowActivity(QStringLiteral("Writing Sector") + number(moduleSector));
    return sendAndAwait(command('b', moduleSector), "W!K!",
                        QStringLiteral("the write of sector ") + QString::number(moduleSector),
                        moduleSector);
}

// Sends a command and waits for its acknowledgement; one that came without a recovery shows the
// walk progressing.
AckTransfer::Step AckTransfer::sendAndAwait(const QByteArray& text, const QByteArray& reply,
                                            const QString& step, std::optional<qint64> sector,
                                            std::optional<int> block) {
    update_.at(step, sector, block);
    const bool restartBefore = recovery_.restartPending();
    if (!update_.line.sendExpecting(text))
        return Step::Halted;
    if (!recovery_.AwaitReply(reply))
        return update_.line.halted() ? Step::Halted : Step::GaveUp;
    if (recovery_.restartPending() && !restartBefore && failedAgain(step)) {
        const QString times = QStringLiteral(", %1 times in a row.").arg(kMaxFailuresInARow);
        endFailed(update_,
                  recovery_.refused()
                      ? Reason{ReasonCode::ModuleError,
                               QStringLiteral("The module answered \"E!\" to ") + step + times}
                      : Reason{ReasonCode::RecoveryExhausted,
                               QStringLiteral("The module stopped answering at ") + step + times +
                                   QStringLiteral(" Each time a recovery brought it back.")});
        return Step::GaveUp;
    }
    if (step == failedStep_ && !recovery_.restartPending())
        failuresInARow_ = 0;  // the step that failed went through this time
    return Step::Done;
}

bool AckTransfer::failedAgain(const QString& step) {
    if (step != failedStep_) {
        failedStep_ = step;
        failuresInARow_ = 0;
    }
    return ++failuresInARow_ >= kMaxFailuresInARow;
}

UpdateOutcome AckTransfer::endAckStep(Step step) {
    return step == Step::Halted ? endHalted(update_) : UpdateOutcome::Failed;
}

}  // namespace tarvel
