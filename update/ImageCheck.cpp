#include "update/ImageCheck.h"

#include "platform/FileSystem.h"
#include "update/SectorWalk.h"

#include <cmath>

namespace tarvel {

namespace {
constexpr qint64 kRequestMaxSectors = 255;  // the count goes on the line as one byte
constexpr qint64 kAckMaxSectors = 237;      // module sector s + 19 goes on the line as one byte
}  // namespace

qint64 sectorCount(qint64 length) {
    return static_cast<qint64>(std::nearbyint(static_cast<double>(length) / 65536.0));
}

qint64 sectorsOf(TransferKind kind, qint64 length) {
    return sectorCount(kind == TransferKind::Ack ? length - kAckHeaderSize : length);
}

QString lengthProblem(TransferKind kind, qint64 length) {
    if (kind == TransferKind::Request) {
        if (length % kSectorSize != 0) {
            return QStringLiteral(
                       "its length of %1 bytes is not a whole number of 65536-byte "
                       "sectors")
                .arg(length);
        }
        const qint64 sectors = sectorsOf(kind, length);
        if (sectors < 1 || sectors > kRequestMaxSectors)
            return QStringLiteral("it holds %1 sectors, this transfer carries 1 to 255")
                .arg(sectors);
        return QString();
    }
    if (length < kAckHeaderSize)
        return QStringLiteral("it is shorter than its 64-byte header");
    if ((length - kAckHeaderSize) % kSectorSize != 0) {
        return QStringLiteral(
                   "its length after the 64-byte header, %1 bytes, is not a whole "
                   "number of 65536-byte sectors")
            .arg(length - kAckHeaderSize);
    }
    const qint64 sectors = sectorsOf(kind, length);
    if (sectors < 1 || sectors > kAckMaxSectors)
        return QStringLiteral("it holds %1 sectors, this transfer carries 1 to 237").arg(sectors);
    return QString();
}

qint64 ackBlockOffset(qint64 sector, int block) {
    return kAckHeaderSize + sector * kSectorSize + static_cast<qint64>(block) * kAckBlockSize;
}

bool isBlank(const QByteArray& block) {
    unsigned char all = 0xFF;
    for (char byte : block)
        all &= static_cast<unsigned char>(byte);
    return all == 0xFF;
}

QString cannotBeOpened() {
    return QStringLiteral("it cannot be opened");
}

QString cannotBeRead() {
    return QStringLiteral("it cannot be read");
}

QString holdsNoData() {
    return QStringLiteral("it holds no data, every byte is 0xFF");
}

std::optional<WalkCounts> walkAckImage(ReadableFile& image,
                                       const std::function<bool()>& afterBlock) {
    WalkCounts counts;
    SectorWalk walk(sectorsOf(TransferKind::Ack, image.size()));
    while (!walk.atEnd()) {
        walk.enterSector();
        bool sectorDone = false;
        while (!sectorDone) {
            const QByteArray block =
                image.readAt(ackBlockOffset(walk.sector(), walk.block()), kAckBlockSize);
            if (block.size() != kAckBlockSize)
                return std::nullopt;
            const bool blank = isBlank(block);
            ++(blank ? counts.blankBlocks : counts.dataBlocks);
            if (afterBlock && !afterBlock())
                return std::nullopt;
            sectorDone = walk.finishBlock(blank);
        }
        ++counts.sectorsVisited;
        walk.nextSector();
    }
    return counts;
}

// The same steps in the same order as the transfers take before their first byte.
ImageCheck checkImage(ReadableFile* image, TransferKind kind) {
    ImageCheck check;
    if (!image) {
        check.problem = cannotBeOpened();
        return check;
    }
    const qint64 length = image->size();
    check.problem = lengthProblem(kind, length);
    if (!check.problem.isEmpty())
        return check;
    check.sectors = sectorsOf(kind, length);
    if (kind == TransferKind::Request)
        return check;
    check.walk = walkAckImage(*image);
    if (!check.walk)
        check.problem = cannotBeRead();
    else if (check.walk->dataBlocks == 0)
        check.problem = holdsNoData();
    return check;
}

}  // namespace tarvel
