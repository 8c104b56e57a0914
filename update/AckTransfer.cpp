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

int AckTransfer::CountDataBlocks(const QString& FirmwareFile) {
    ImageSlot& image = update_.image();
    if (!image.open(FirmwareFile))
        return -1;
    // Events keep flowing during a long count, and may end it.
    const std::optional<WalkCounts> counts =
        walkAckImage(image.file(), [this] { return update_.line().processPending(); });
    return counts ? counts->dataBlocks : -1;
}

UpdateResult AckTransfer::SendFirmwareWithAck(const QString& FirmwareFile,
                                              const QByteArray& ModuleType) {
    ReplyWaiter& line = update_.line();
    qint64 sectors = 0;
    if (std::optional<UpdateResult> ended = prepare(FirmwareFile, &sectors))
        return std::move(*ended);
    update_.status().ShowActivity(QStringLiteral("Waiting for response..."));

    recovery_.restarted();
    failedStep_.clear();
    failuresInARow_ = 0;
    if (!line.sendExpecting(ModuleType))
        return endHalted(update_);
    line.discard();
    update_.track().dataPhaseReset();
    if (std::optional<UpdateResult> ended = walkImage(sectors))
        return std::move(*ended);

    // The last sector's "W!K!" has proved that every block has left the line.
    update_.track().dataPhaseEnds();
    if (!line.sendExpecting("q"))
        return endHalted(update_);
    return endSucceeded(update_);
}

// The image is judged as inspect judges it, and its data blocks counted for the progress.
std::optional<UpdateResult> AckTransfer::prepare(const QString& FirmwareFile, qint64* sectors) {
    StatusDisplay& status = update_.status();
    ImageSlot& image = update_.image();
    if (!image.open(FirmwareFile))
        return refuseImage(update_, FirmwareFile, cannotBeOpened());
    const qint64 length = image.file().size();
    if (const QString problem = lengthProblem(TransferKind::Ack, length); !problem.isEmpty())
        return refuseImage(update_, FirmwareFile, problem);
    *sectors = sectorsOf(TransferKind::Ack, length);

    status.ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                      texts::runningGerman());
    const int dataBlocks = CountDataBlocks(FirmwareFile);
    if (update_.line().halted())
        return endHalted(update_);
    if (dataBlocks < 0)
        return refuseImage(update_, FirmwareFile, cannotBeRead());
    if (dataBlocks == 0)
        return refuseImage(update_, FirmwareFile, holdsNoData());
    status.showProgress(0, dataBlocks * kAckBlockSize, QStringLiteral("0%"));
    status.setBusy(true);
    if (!image.open(FirmwareFile))
        return refuseImage(update_, FirmwareFile, cannotBeOpened());
    return std::nullopt;
}

std::optional<UpdateResult> AckTransfer::walkImage(qint64 sectors) {
    ReplyWaiter& line = update_.line();
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
            const QByteArray data = update_.image().file().readAt(
                ackBlockOffset(walk.sector(), walk.block()), kAckBlockSize);
            if (!line.processPending())
                return endHalted(update_);
            // The image changed under the transfer: never report such an update as done.
            if (data.size() != kAckBlockSize)
                return endFailed(update_, unreadableAt(walk.sector(), walk.block()));
            update_.track().dataPhaseStarts();
            if (std::optional<UpdateResult> ended = sendAckBlock(walk.sector(), walk.block(), data))
                return ended;
            sectorDone = walk.finishBlock(isBlank(data));
        }
        if (std::optional<UpdateResult> ended = writeAckSector(walk.sector()))
            return ended;
        walk.nextSector();
        // A recovery during the last write: the walk starts again instead of quitting.
        if (walk.atEnd() && recovery_.restartPending())
            walk.restart();
    }
    return std::nullopt;
}

Reason AckTransfer::unreadableAt(qint64 sector, int block) {
    const qint64 moduleSector = sector + kFirstModuleSector;
    return {ReasonCode::ImageRefused,
            QStringLiteral("The image could not be read at sector %1, block %2.")
                .arg(QString::number(moduleSector), QString::number(block)),
            moduleSector, block};
}

// The module was brought back: it starts again at the first block, and so does the progress.
void AckTransfer::restartAckWalk(SectorWalk& walk) {
    update_.status().ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                                texts::runningGerman());
    walk.restart();
    acknowledged_ = 0;
    update_.status().showProgress(0, update_.status().progressMaximum(), QStringLiteral("0%"));
    recovery_.restarted();
}

// A data block is announced, then sent with its checksum; a blank one the module fills itself.
std::optional<UpdateResult> AckTransfer::sendAckBlock(qint64 sector, int block,
                                                      const QByteArray& data) {
    const qint64 moduleSector = sector + kFirstModuleSector;
    const QString place = QStringLiteral("sector %1, block %2")
                              .arg(QString::number(moduleSector), QString::number(block));
    if (isBlank(data)) {
        std::optional<UpdateResult> ended =
            sendAndAwait(command('f', block), "K!", QStringLiteral("the fill command of ") + place,
                         moduleSector, block);
        if (!ended) {
            update_.status().ShowActivity(QStringLiteral("Fill Sector") + number(moduleSector) +
                                          QStringLiteral("   Block") + number(block));
        }
        return ended;
    }
    if (std::optional<UpdateResult> ended =
            sendAndAwait(command('e', block), "K!", QStringLiteral("the announcement of ") + place,
                         moduleSector, block))
        return ended;
    update_.status().ShowActivity(QStringLiteral("Sending Sector") + number(moduleSector) +
                                  QStringLiteral("   Block") + number(block));
    if (std::optional<UpdateResult> ended = sendAndAwait(
            data + xorOf(data), "K!", QStringLiteral("the data of ") + place, moduleSector, block))
        return ended;
    // A block acknowledged only after a recovery goes out again with the restarted walk: it
    // does not count yet.
    if (!recovery_.restartPending()) {
        ++acknowledged_;
        update_.status().showProgress(static_cast<qint64>(acknowledged_) * kAckBlockSize,
                                      moduleSector, block);
    }
    return std::nullopt;
}

std::optional<UpdateResult> AckTransfer::writeAckSector(qint64 sector) {
    const qint64 moduleSector = sector + kFirstModuleSector;
    update_.status().ShowActivity(QStringLiteral("Writing Sector") + number(moduleSector));
    return sendAndAwait(command('b', moduleSector), "W!K!",
                        QStringLiteral("the write of sector ") + QString::number(moduleSector),
                        moduleSector);
}

// Sends a command and waits for its acknowledgement; one that came without a recovery shows the
// walk progressing.
std::optional<UpdateResult> AckTransfer::sendAndAwait(const QByteArray& text,
                                                      const QByteArray& reply, const QString& step,
                                                      std::optional<qint64> sector,
                                                      std::optional<int> block) {
    update_.track().at(step, sector, block);
    const bool restartBefore = recovery_.restartPending();
    if (!update_.line().sendExpecting(text))
        return endHalted(update_);
    if (std::optional<UpdateResult> ended = recovery_.AwaitReply(reply))
        return ended;
    if (recovery_.restartPending() && !restartBefore && failedAgain(step)) {
        const QString times = QStringLiteral(", %1 times in a row.").arg(kMaxFailuresInARow);
        return endFailed(
            update_,
            recovery_.refused()
                ? Reason{ReasonCode::ModuleError,
                         QStringLiteral("The module answered \"E!\" to ") + step + times}
                : Reason{ReasonCode::RecoveryExhausted,
                         QStringLiteral("The module stopped answering at ") + step + times +
                             QStringLiteral(" Each time a recovery brought it back.")});
    }
    if (step == failedStep_ && !recovery_.restartPending())
        failuresInARow_ = 0;  // the step that failed went through this time
    return std::nullopt;
}

bool AckTransfer::failedAgain(const QString& step) {
    if (step != failedStep_) {
        failedStep_ = step;
        failuresInARow_ = 0;
    }
    return ++failuresInARow_ >= kMaxFailuresInARow;
}

}  // namespace tarvel
