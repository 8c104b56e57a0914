#include "activity/ActivityInd.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/StatusView.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/Updater.h"

namespace tarvel {

namespace {
constexpr qint64 kHeaderSize = 64;
constexpr qint64 kSectorSize = 65536;
constexpr int kBlockSize = 1024;
constexpr int kBlocksPerSector = 64;
constexpr qint64 kMaxSectors = 237;  // module sector s + 19 goes on the line as one byte
constexpr int kFirstModuleSector = 19;
// Restarts in a row with no acknowledgement in between. A module that gets lost again after
// every recovery would otherwise keep the update restarting for ever.
constexpr int kMaxFruitlessRestarts = 3;

qint64 blockOffset(qint64 sector, int block) {
    return kHeaderSize + sector * kSectorSize + static_cast<qint64>(block) * kBlockSize;
}

// A block whose bytes are all 0xFF is blank: the module fills it itself.
bool isBlank(const QByteArray& block) {
    unsigned char all = 0xFF;
    for (char byte : block)
        all &= static_cast<unsigned char>(byte);
    return all == 0xFF;
}

char xorOf(const QByteArray& block) {
    unsigned char sum = 0;
    for (char byte : block)
        sum ^= static_cast<unsigned char>(byte);
    return static_cast<char>(sum);
}

// The sector walk shared by the count and the transfer: sectors in order, except that once a
// sector ends in a blank block the walk jumps to the last sector.
class SectorWalk {
  public:
    explicit SectorWalk(qint64 sectors) : sectors_(sectors) {}
    bool atEnd() const { return sector_ > sectors_ - 1; }
    qint64 sector() const { return sector_; }
    int block() const { return block_; }
    void enterSector() {
        if (lastBlockBlank_)
            sector_ = sectors_ - 1;
    }
    // After block: true when it was the sector's last.
    bool finishBlock(bool blank) {
        lastBlockBlank_ = blank;
        return ++block_ == kBlocksPerSector;
    }
    void nextSector() {
        ++sector_;
        block_ = 0;
    }
    void restart() {
        sector_ = 0;
        block_ = 0;
        lastBlockBlank_ = false;
    }

  private:
    qint64 sectors_;
    qint64 sector_ = 0;
    int block_ = 0;
    bool lastBlockBlank_ = false;
};
}  // namespace

int Updater::CountDataBlocks() {
    if (!openImageFile())
        return -1;
    const qint64 sectors = sectorCount(imageFile_->size() - kHeaderSize);
    int count = 0;
    SectorWalk walk(sectors);
    while (!walk.atEnd()) {
        walk.enterSector();
        bool sectorDone = false;
        while (!sectorDone) {
            const QByteArray block =
                imageFile_->readAt(blockOffset(walk.sector(), walk.block()), kBlockSize);
            if (block.size() != kBlockSize)
                return -1;
            const bool blank = isBlank(block);
            if (!blank)
                ++count;
            s_.pump.processPending();
            if (halt() != Halt::None)
                return -1;
            sectorDone = walk.finishBlock(blank);
        }
        walk.nextSector();
    }
    return count;
}

// The host drives this transfer block by block and the module acknowledges every step. Every
// wait for an acknowledgement may bring a silent module back; the walk then starts again.
UpdateOutcome Updater::SendFirmwareWithAck() {
    if (!openImageFile())
        return refuseImage(QStringLiteral("it cannot be opened"));
    const qint64 length = imageFile_->size();
    if (length < kHeaderSize)
        return refuseImage(QStringLiteral("it is shorter than its 64-byte header"));
    if ((length - kHeaderSize) % kSectorSize != 0) {
        return refuseImage(QStringLiteral("its length after the 64-byte header, %1 bytes, is not "
                                          "a whole number of 65536-byte sectors")
                               .arg(length - kHeaderSize));
    }
    const qint64 sectors = sectorCount(length - kHeaderSize);
    if (sectors < 1 || sectors > kMaxSectors) {
        return refuseImage(
            QStringLiteral("it holds %1 sectors, this transfer carries 1 to 237").arg(sectors));
    }
    QByteArray& received = s_.link.ReceiveBuffer;
    StatusView& view = s_.status.view();

    s_.status.ShowStatus(texts::runningWord(), std::nullopt, texts::runningEnglish(),
                         texts::runningGerman());
    const int dataBlocks = CountDataBlocks();
    if (halt() != Halt::None)
        return endHalted();
    if (dataBlocks < 0)
        return refuseImage(QStringLiteral("it cannot be read"));
    if (dataBlocks == 0)
        return refuseImage(QStringLiteral("it holds no data, every byte is 0xFF"));
    view.setProgressMaximum(dataBlocks * kBlockSize);
    view.setProgressValue(0);
    s_.status.showPercent(QStringLiteral("0%"));
    view.setBusyPointer(true);
    if (!openImageFile())
        return refuseImage(QStringLiteral("it cannot be opened"));
    s_.status.ShowActivity(QStringLiteral("Waiting for response..."));

    ErrorCount = 0;
    restartPending_ = false;
    received.clear();
    if (!send(ModuleType))
        return endHalted();
    received.clear();

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
            const QByteArray data = imageFile_->readAt(blockOffset(sector, block), kBlockSize);
            s_.pump.processPending();
            if (halt() != Halt::None)
                return endHalted();
            if (data.size() != kBlockSize) {
                // The image changed under the transfer: never report such an update as done.
                closeImageFile();
                showUpdateErrorBox();
                readyWithClockStopped();
                return UpdateOutcome::Failed;
            }
            const bool blank = isBlank(data);
            const QByteArray blockByte(1, static_cast<char>(block));
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
                view.setProgressValue(std::min(acknowledged * kBlockSize, view.progressMaximum()));
                showPercent(static_cast<qint64>(acknowledged) * kBlockSize, view.progressMaximum());
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
    if (!send("q"))
        return endHalted();
    closeImageFile();
    showSuccessThenReady();
    return UpdateOutcome::Success;
}

}  // namespace tarvel
