#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tarvel {

class ReadableFile;

// The two ways an image reaches a module: the module asks for whole sectors (request-driven,
// the modules that announce themselves), or the host sends it block by block and the module
// acknowledges every step (acknowledged, the probed modules).
enum class TransferKind { Request, Ack };

constexpr qint64 kSectorSize = 65536;
// An acknowledged image starts with a header that stays on the host.
constexpr qint64 kAckHeaderSize = 64;
constexpr int kAckBlockSize = 1024;

// Sectors in an image body of the given length: length / 65536 rounded to the nearest whole
// number, ties to even.
qint64 sectorCount(qint64 length);
// Sectors the transfer carries from an image of length bytes.
qint64 sectorsOf(TransferKind kind, qint64 length);
// Why the transfer cannot carry an image of length bytes; empty when the length fits.
QString lengthProblem(TransferKind kind, qint64 length);

// Where a block of an acknowledged image lies, behind the header.
qint64 ackBlockOffset(qint64 sector, int block);
// A block whose bytes are all 0xFF is blank: the module fills it itself.
bool isBlank(const QByteArray& block);

// The reasons that do not depend on the length, worded as the update gives them.
QString cannotBeOpened();
QString cannotBeRead();
QString holdsNoData();

// What the acknowledged walk meets in an image.
struct WalkCounts {
    int dataBlocks = 0;
    int blankBlocks = 0;
    int sectorsVisited = 0;  // one write command each
};
// Walks an acknowledged image as its transfer will. afterBlock runs after every block; false
// from it stops the walk. Nothing when a block cannot be read or the walk was stopped.
std::optional<WalkCounts> walkAckImage(ReadableFile& image,
                                       const std::function<bool()>& afterBlock = {});

// An image judged the way its transfer judges it before sending anything.
struct ImageCheck {
    QString problem;                 // empty: the transfer carries the image
    std::optional<qint64> sectors;   // once the length fits
    std::optional<WalkCounts> walk;  // acknowledged images whose length fits
};
// image is null when it could not be opened.
ImageCheck checkImage(ReadableFile* image, TransferKind kind);

}  // namespace tarvel
