#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ImageCheck.h"
#include "update/SectorWalk.h"
#include "update/Updater.h"

namespace tarvel {

namespace {
// Image sector 0 is the module's sector 19: the sectors below hold what the module starts with,
// which an update never touches.
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

QByteArray command(char letter, qint64 argument) {
    return QByteArray(1, letter) + static_cast<char>(argument);
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

    s_.status.ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                         texts::runningGerman());
    const int dataBlocks = CountDataBlocks();
    if (halt() != Halt::None)
        return endHalted();
    if (dataBlocks < 0)
        return refuseImage(cannotBeRead());
    if (dataBlocks == 0)
        return refuseImage(holdsNoData());
    s_.status.showProgress(0, dataBlocks * kAckBlockSize, QStringLiteral("0%"));
    s_.status.setBusy(true);
    if (!openImageFile())
        return refuseImage(cannotBeOpened());
    s_.status.ShowActivity(QStringLiteral("Waiting for response..."));

    ErrorCount = 0;
    restartPending_ = false;
    fruitlessRestarts_ = 0;
    s_.link.ReceiveBuffer.clear();
    if (!send(ModuleType))
        return endHalted();
    s_.link.ReceiveBuffer.clear();
    dataPhase = {};

    int acknowledged = 0;
    SectorWalk walk(sectors);
    while (!walk.atEnd()) {
        walk.enterSector();
        bool sectorDone = false;
        while (!sectorDone) {
            if (halt() != Halt::None)
                return endHalted();
            if (restartPending_) {
                if (++fruitlessRestarts_ > kMaxFruitlessRestarts)
                    return endFailed();
                restartAckWalk(walk, acknowledged);
            }
            ErrorCount = 0;
            const QByteArray data =
                imageFile_->readAt(ackBlockOffset(walk.sector(), walk.block()), kAckBlockSize);
            s_.pump.processPending();
            if (halt() != Halt::None)
                return endHalted();
            // The image changed under the transfer: never report such an update as done.
            if (data.size() != kAckBlockSize)
                return endFailed();
            dataPhaseStarts();
            const Step step = sendAckBlock(walk.sector(), walk.block(), data, acknowledged);
            if (step != Step::Done)
                return endAckStep(step);
            s_.link.ReceiveBuffer.clear();
            sectorDone = walk.finishBlock(isBlank(data));
        }
        if (const Step step = writeAckSector(walk.sector()); step != Step::Done)
            return endAckStep(step);
        walk.nextSector();
        // A recovery during the last write: the walk starts again instead of quitting.
        if (walk.atEnd() && restartPending_)
            walk.restart();
    }

    s_.link.ReceiveBuffer.clear();
    // The last sector's "W!K!" has proved that every block has left the line.
    dataPhaseEnds();
    if (!send("q"))
        return endHalted();
    return endSucceeded();
}

// The module was brought back: it starts again at the first block, and so does the progress.
void Updater::restartAckWalk(SectorWalk& walk, int& acknowledged) {
    s_.status.ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                         texts::runningGerman());
    walk.restart();
    acknowledged = 0;
    s_.status.showProgress(0, s_.status.progressMaximum(), QStringLiteral("0%"));
    restartPending_ = false;
}

// A data block is announced, then sent with its checksum; a blank one the module fills itself.
Updater::Step Updater::sendAckBlock(qint64 sector, int block, const QByteArray& data,
                                    int& acknowledged) {
    const qint64 moduleSector = sector + kFirstModuleSector;
    if (isBlank(data)) {
        const Step step = sendAndAwait(command('f', block), "K!");
        if (step == Step::Done) {
            s_.status.ShowActivity(QStringLiteral("Fill Sector") + number(moduleSector) +
                                   QStringLiteral("   Block") + number(block));
        }
        return step;
    }
    if (const Step step = sendAndAwait(command('e', block), "K!"); step != Step::Done)
        return step;
    s_.status.ShowActivity(QStringLiteral("Sending Sector") + number(moduleSector) +
                           QStringLiteral("   Block") + number(block));
    if (const Step step = sendAndAwait(data + xorOf(data), "K!"); step != Step::Done)
        return step;
    // A block acknowledged only after a recovery goes out again with the restarted walk: it
    // does not count yet.
    if (!restartPending_) {
        ++acknowledged;
        s_.status.showProgress(static_cast<qint64>(acknowledged) * kAckBlockSize, moduleSector,
                               block);
    }
    return Step::Done;
}

Updater::Step Updater::writeAckSector(qint64 sector) {
    const qint64 moduleSector = sector + kFirstModuleSector;
    s_.status.ShowActivity(QStringLiteral("Writing Sector") + number(moduleSector));
    return sendAndAwait(command('b', moduleSector), "W!K!");
}

// Sends a command and waits for its acknowledgement; one that came without a recovery shows the
// walk progressing.
Updater::Step Updater::sendAndAwait(const QByteArray& text, const QByteArray& reply) {
    s_.link.ReceiveBuffer.clear();
    if (!send(text))
        return Step::Halted;
    if (!AwaitReply(reply))
        return halt() != Halt::None ? Step::Halted : Step::GaveUp;
    if (!restartPending_)
        fruitlessRestarts_ = 0;
    return Step::Done;
}

UpdateOutcome Updater::endAckStep(Step step) {
    return step == Step::Halted ? endHalted() : UpdateOutcome::Failed;
}

}  // namespace tarvel
