#include "activity/ActivityInd.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/StatusView.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ImageCheck.h"
#include "update/SectorWalk.h"
#include "update/Updater.h"

namespace tarvel {

namespace {
constexpr int kFirstModuleSector = 19;
// Restarts in a row with no acknowledgement in between. A module that gets lost again after
// every recovery would otherwise keep the update restarting for ever.
constexpr int kMaxFruitlessRestarts = 3;

char xorOf(const QByteArray& block) {
    unsigned char sum = 0;
    for (char byte : block)
        sum ^= static_cast<unsigned char>(byte);
    return static_cast<char>(sum);
}
}  // namespace

int Updater::CountDataBlocks() {
    if (!openImageFile())
        return -1;
    // Events keep flowing during a long count, and may end it.
    const std::optional<WalkCounts> counts = walkAckImage(*imageFile_, [this] {
        s_.pump.processPending();
        return halt() == Halt::None;
    });
    return counts ? counts->dataBlocks : -1;
}

// The host drives this transfer block by block and the module acknowledges every step. Every
// wait for an acknowledgement may bring a silent module back; the walk then starts again.
UpdateOutcome Updater::SendFirmwareWithAck() {
    if (!openImageFile())
        return refuseImage(cannotBeOpened());
    const qint64 length = imageFile_->size();
    if (const QString problem = lengthProblem(TransferKind::Ack, length); !problem.isEmpty())
        return refuseImage(problem);
    const qint64 sectors = sectorsOf(TransferKind::Ack, length);
    QByteArray& received = s_.link.ReceiveBuffer;
    StatusView& view = s_.status.view();

    s_.status.ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                         texts::runningGerman());
    const int dataBlocks = CountDataBlocks();
    if (halt() != Halt::None)
        return endHalted();
    if (dataBlocks < 0)
        return refuseImage(cannotBeRead());
    if (dataBlocks == 0)
        return refuseImage(holdsNoData());
    view.setProgressMaximum(dataBlocks * kAckBlockSize);
    view.setProgressValue(0);
    s_.status.showPercent(QStringLiteral("0%"));
    view.setBusyPointer(true);
    if (!openImageFile())
        return refuseImage(cannotBeOpened());
    s_.status.ShowActivity(QStringLiteral("Waiting for response..."));

    ErrorCount = 0;
    restartPending_ = false;
    received.clear();
    if (!send(ModuleType))
        return endHalted();
    received.clear();
    dataPhase = {};

    int acknowledged = 0;
    int fruitlessRestarts = 0;
    // Waits for an acknowledgement; one that came without a recovery shows the walk progressing.
    auto acknowledgedBy = [&](const QByteArray& reply) {
        if (!AwaitReply(reply))
            return false;
        if (!restartPending_)
            fruitlessRestarts = 0;
        return true;
    };
    SectorWalk walk(sectors);
    while (!walk.atEnd()) {
        walk.enterSector();
        bool sectorDone = false;
        while (!sectorDone) {
            if (halt() != Halt::None)
                return endHalted();
            if (restartPending_) {
                if (++fruitlessRestarts > kMaxFruitlessRestarts) {
                    closeImageFile();
                    showUpdateErrorBox();
                    readyWithClockStopped();
                    return UpdateOutcome::Failed;
                }
                // The module was brought back: it starts again at the first block.
                s_.status.ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                                     texts::runningGerman());
                walk.restart();
                acknowledged = 0;
                view.setProgressValue(0);
                restartPending_ = false;
            }
            ErrorCount = 0;
            const qint64 sector = walk.sector();
            const int block = walk.block();
            const QByteArray data =
                imageFile_->readAt(ackBlockOffset(sector, block), kAckBlockSize);
            s_.pump.processPending();
            if (halt() != Halt::None)
                return endHalted();
            if (data.size() != kAckBlockSize) {
                // The image changed under the transfer: never report such an update as done.
                closeImageFile();
                showUpdateErrorBox();
                readyWithClockStopped();
                return UpdateOutcome::Failed;
            }
            const bool blank = isBlank(data);
            const QByteArray blockByte(1, static_cast<char>(block));
            dataPhaseStarts();
            if (!blank) {
                received.clear();
                if (!send("e" + blockByte))
                    return endHalted();
                if (!acknowledgedBy("K!"))
                    return halt() != Halt::None ? endHalted() : UpdateOutcome::Failed;
                s_.status.ShowActivity(QStringLiteral("Sending Sector") +
                                       number(sector + kFirstModuleSector) +
                                       QStringLiteral("   Block") + number(block));
                received.clear();
                if (!send(data + xorOf(data)))
                    return endHalted();
                if (!acknowledgedBy("K!"))
                    return halt() != Halt::None ? endHalted() : UpdateOutcome::Failed;
                ++acknowledged;
                view.setProgressValue(
                    std::min(acknowledged * kAckBlockSize, view.progressMaximum()));
                showPercent(static_cast<qint64>(acknowledged) * kAckBlockSize,
                            view.progressMaximum());
            } else {
                received.clear();
                if (!send("f" + blockByte))
                    return endHalted();
                if (!acknowledgedBy("K!"))
                    return halt() != Halt::None ? endHalted() : UpdateOutcome::Failed;
                s_.status.ShowActivity(QStringLiteral("Fill Sector") +
                                       number(sector + kFirstModuleSector) +
                                       QStringLiteral("   Block") + number(block));
            }
            received.clear();
            sectorDone = walk.finishBlock(blank);
        }
        const qint64 sector = walk.sector();
        s_.status.ShowActivity(QStringLiteral("Writing Sector") +
                               number(sector + kFirstModuleSector));
        received.clear();
        if (!send("b" + QByteArray(1, static_cast<char>(sector + kFirstModuleSector))))
            return endHalted();
        if (!acknowledgedBy("W!K!"))
            return halt() != Halt::None ? endHalted() : UpdateOutcome::Failed;
        walk.nextSector();
        // A recovery during the last write: the walk starts again instead of quitting.
        if (walk.atEnd() && restartPending_)
            walk.restart();
    }

    received.clear();
    dataPhaseEnds();
    if (!send("q"))
        return endHalted();
    closeImageFile();
    showSuccessThenReady();
    return UpdateOutcome::Success;
}

}  // namespace tarvel
