#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ImageCheck.h"
#include "update/ProtocolWaits.h"
#include "update/Updater.h"

namespace tarvel {

namespace {
constexpr int kBlocksPerSector = kSectorSize / kRequestBlockLength;
constexpr double kRequestTimeout = 4.0;
constexpr int kMaxTimeouts = 4;  // three automatic restarts, the fourth time-out ends the update

// The module asks for a sector with "OK" at the end of what it sent, and ends with "EN" at the
// start.
bool isRequest(const QByteArray& received) {
    return received.endsWith("OK");
}
bool isEndMark(const QByteArray& received) {
    return received.startsWith("EN");
}
}  // namespace

// The module paces this transfer: it asks for every 64 KiB sector with "OK" and ends with "EN".
// A module that falls silent gets the whole transfer again, up to three times.
UpdateOutcome Updater::SendFirmwareOnRequest() {
    if (!openImageFile())
        return refuseImage(cannotBeOpened());
    const qint64 length = imageFile_->size();
    if (const QString problem = lengthProblem(TransferKind::Request, length); !problem.isEmpty())
        return refuseImage(problem);
    const qint64 sectors = sectorsOf(TransferKind::Request, length);
    for (;;) {
        if (const std::optional<UpdateOutcome> ended = requestRun(sectors))
            return *ended;
        if (++ErrorCount >= kMaxTimeouts)
            return endFailed();
        s_.status.ShowStatus(texts::errorWord(), kRed, texts::errorEnglish(), texts::errorGerman());
        warte(waits::kAfterSilence);
        if (halt() != Halt::None)
            return endHalted();
    }
}

// One run from "OK" and the sector count to the end mark; nothing when the module fell silent.
std::optional<UpdateOutcome> Updater::requestRun(qint64 sectors) {
    s_.status.ShowStatus(texts::runningWord(), kRed, texts::runningEnglish(),
                         texts::runningGerman());
    s_.status.showProgress(0, static_cast<int>(kBlocksPerSector * sectors), QStringLiteral("0%"));
    s_.status.setBusy(true);
    s_.status.ResetElapsedTime();
    if (!openImageFile())
        return refuseImage(cannotBeOpened());
    s_.status.ShowActivity(QStringLiteral("Waiting for request..."));
    s_.status.StartElapsedClock();
    if (!send(QByteArray("OK") + static_cast<char>(sectors)))
        return endHalted();
    s_.link.ReceiveBuffer.clear();

    qint64 blocksSent = 0;
    dataPhase = {};
    for (qint64 sector = 0; sector < sectors; ++sector) {
        WaitStart = s_.clock.seconds();
        if (!waitForReply(isRequest, kRequestTimeout))
            return halt() != Halt::None ? std::optional(endHalted()) : std::nullopt;
        if (const std::optional<UpdateOutcome> ended = sendRequestedSector(sector, blocksSent))
            return ended;
    }
    WaitStart = s_.clock.seconds();
    if (waitForReply(isEndMark, kRequestTimeout)) {
        // The end mark proves that the last block has left the line.
        dataPhaseEnds();
        return endSucceeded();
    }
    return halt() != Halt::None ? std::optional(endHalted()) : std::nullopt;
}

// A second after the request, the sector in four blocks with the progress after each.
std::optional<UpdateOutcome> Updater::sendRequestedSector(qint64 sector, qint64& blocksSent) {
    s_.link.ReceiveBuffer.clear();
    warte(waits::kBeforeSector);
    if (halt() != Halt::None)
        return endHalted();
    for (int block = 0; block < kBlocksPerSector; ++block) {
        s_.pump.processPending();
        // Events may have ended the update (the program is closing, the port is gone).
        if (halt() != Halt::None)
            return endHalted();
        s_.status.ShowActivity(QStringLiteral("Sending Sector") + number(sector) +
                               QStringLiteral("   Block") + number(block));
        QByteArray data = imageFile_->read(kRequestBlockLength);
        if (data.size() < kRequestBlockLength)
            data.append(QByteArray(kRequestBlockLength - data.size(), ' '));
        dataPhaseStarts();
        if (!send(data))
            return endHalted();
        s_.status.showProgress(++blocksSent, sector, block);
    }
    s_.status.ShowActivity(QStringLiteral("Writing Sector") + number(sector));
    return std::nullopt;
}

}  // namespace tarvel
