#include "update/UpdateForecast.h"

#include "update/ProtocolWaits.h"

namespace tarvel {

namespace {
constexpr qint64 kSwitchCheck = 12;  // "X" twelve times
constexpr qint64 kReply = 2;         // "OK", "EN", "K!"
constexpr qint64 kWriteReply = 4;    // "W!K!"

double onTheLine(qint64 bytes) {
    return static_cast<double>(bytes) / kLineBytesPerSecond;
}
}  // namespace

UpdateForecast forecastRequest(qint64 sectors) {
    // The switch check, "OK" and the count, the sectors; the module asks for each sector with
    // "OK" and ends with "EN".
    const qint64 sent = kSwitchCheck + 3 + sectors * kSectorSize;
    const qint64 replies = (sectors + 1) * kReply;
    const double pauses = waits::kSwitchCheck + waits::kIdentification +
                          sectors * waits::kBeforeSector + waits::kBeforeSuccess +
                          waits::kSuccessShown;
    return {sent, onTheLine(sent + replies) + pauses};
}

UpdateForecast forecastAck(const WalkCounts& walk, int probes) {
    constexpr qint64 kQuit = 1, kProbe = 30, kTypeCode = 6, kCommand = 2;
    // A data block: "e" and its number, then the block and its checksum, each acknowledged.
    constexpr qint64 kDataBlock = kCommand + kAckBlockSize + 1;
    const qint64 sent = kSwitchCheck + kQuit + probes * kProbe + kTypeCode +
                        walk.dataBlocks * kDataBlock + walk.blankBlocks * kCommand +
                        walk.sectorsVisited * kCommand + kQuit;
    const qint64 replies = walk.dataBlocks * 2 * kReply + walk.blankBlocks * kReply +
                           walk.sectorsVisited * kWriteReply;
    const double pauses = waits::kSwitchCheck + waits::kIdentification + waits::kQuietAfterQuit +
                          probes * waits::kPerProbe + waits::kBeforeSuccess + waits::kSuccessShown;
    return {sent, onTheLine(sent + replies) + pauses};
}

}  // namespace tarvel
