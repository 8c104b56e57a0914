#include "update/RequestTransfer.h"

#include "platform/Clock.h"
#include "platform/FileSystem.h"
#include "serial/ReplyWaiter.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ImageCheck.h"
#include "update/ProtocolWaits.h"
#include "update/UpdateContext.h"
#include "update/UpdateEnding.h"

namespace tarvel {

namespace {
constexpr int kBlocksPerSector = kSectorSize / kRequestBlockLength;
constexpr double kRequestTimeout = 4.0;
constexpr int kMaxTimeouts = 4;  // three automatic restarts, the fourth time-out ends the update

// The module asks for a sector with "OK" at the end of what it sent, and ends with "EN" at the
// start.
const Expected kRequest = Expected::atEnd("OK");
const Expected kEndMark = Expected::atStart("EN");
}  // namespace

// A module that falls silent gets the whole transfer again, up to three times.
UpdateResult RequestTransfer::SendFirmwareOnRequest(const QString& FirmwareFile) {
    ImageSlot& image = update_.image();
    if (!image.open(FirmwareFile))
        return refuseImage(update_, FirmwareFile, cannotBeOpened());
    const qint64 length = image.file().size();
    if (const QString problem = lengthProblem(TransferKind::Request, length); !problem.isEmpty())
        return refuseImage(update_, FirmwareFile, problem);
    const qint64 sectors = sectorsOf(TransferKind::Request, length);
    // The module's time-outs in this update.
    qint16 ErrorCount = 0;
    for (;;) {
        if (std::optional<UpdateResult> ended = requestRun(FirmwareFile, sectors))
            return std::move(*ended);
        if (++ErrorCount >= kMaxTimeouts) {
            return endFailed(
                update_, {ReasonCode::RecoveryExhausted,
                          QStringLiteral("%1 time-outs, %2 automatic restarts; the last: no %3 "
                                         "within 4 s.")
                              .arg(QString::number(ErrorCount), QString::number(kMaxTimeouts - 1),
                                   awaited_)});
        }
        update_.status().ShowStatus(texts::errorWord(), kRed, texts::errorEnglish(),
                                    texts::errorGerman());
        if (!update_.line().warte(waits::kAfterSilence))
            return endHalted(update_);
    }
}

std::optional<UpdateResult> RequestTransfer::requestRun(const QString& FirmwareFile,
                                                        qint64 sectors) {
    StatusDisplay& status = update_.status();
    ReplyWaiter& line = update_.line();
    UpdateTrack& track = update_.track();
    status.ShowStatus(texts::runningWord(), kRed, texts::runningEnglish(), texts::runningGerman());
    status.showProgress(0, static_cast<int>(kBlocksPerSector * sectors), QStringLiteral("0%"));
    status.setBusy(true);
    status.ResetElapsedTime();
    if (!update_.image().open(FirmwareFile))
        return refuseImage(update_, FirmwareFile, cannotBeOpened());
    status.ShowActivity(QStringLiteral("Waiting for request..."));
    status.StartElapsedClock();
    // Emptied as the count goes out, not after: the send processes events until the driver
    // reports the bytes taken, and the first request may be in by then.
    if (!line.sendExpecting(QByteArray("OK") + static_cast<char>(sectors)))
        return endHalted(update_);

    qint64 blocksSent = 0;
    track.dataPhaseReset();
    for (qint64 sector = 0; sector < sectors; ++sector) {
        awaited_ = QStringLiteral("request for sector ") + QString::number(sector);
        track.at(QStringLiteral("the ") + awaited_, sector);
        if (const ReplyWaiter::Wait wait = awaitModule(kRequest); wait != ReplyWaiter::Wait::Reply)
            return wait == ReplyWaiter::Wait::Late ? std::nullopt
                                                   : std::optional(endHalted(update_));
        if (std::optional<UpdateResult> ended = sendRequestedSector(sector, blocksSent))
            return ended;
    }
    awaited_ = QStringLiteral("end mark \"EN\" after the last sector");
    track.at(QStringLiteral("the ") + awaited_);
    if (const ReplyWaiter::Wait wait = awaitModule(kEndMark); wait != ReplyWaiter::Wait::Reply)
        return wait == ReplyWaiter::Wait::Late ? std::nullopt : std::optional(endHalted(update_));
    // The end mark proves that the last block has left the line.
    track.dataPhaseEnds();
    return endSucceeded(update_);
}

ReplyWaiter::Wait RequestTransfer::awaitModule(const Expected& expected) {
    const double WaitStart = update_.clock().seconds();
    return update_.line().waitFor(expected, WaitStart, kRequestTimeout);
}

// A second after the request, the sector in four blocks with the progress after each.
std::optional<UpdateResult> RequestTransfer::sendRequestedSector(qint64 sector,
                                                                 qint64& blocksSent) {
    ReplyWaiter& line = update_.line();
    StatusDisplay& status = update_.status();
    line.discard();
    if (!line.warte(waits::kBeforeSector))
        return endHalted(update_);
    for (int block = 0; block < kBlocksPerSector; ++block) {
        // Events may end the update (the program is closing, the port is gone).
        if (!line.processPending())
            return endHalted(update_);
        status.ShowActivity(QStringLiteral("Sending Sector") + number(sector) +
                            QStringLiteral("   Block") + number(block));
        update_.track().at(QStringLiteral("sector %1, block %2")
                               .arg(QString::number(sector), QString::number(block)),
                           sector, block);
        QByteArray data = update_.image().file().read(kRequestBlockLength);
        if (data.size() < kRequestBlockLength)
            data.append(QByteArray(kRequestBlockLength - data.size(), ' '));
        update_.track().dataPhaseStarts();
        if (!line.send(data))
            return endHalted(update_);
        status.showProgress(++blocksSent, sector, block);
    }
    status.ShowActivity(QStringLiteral("Writing Sector") + number(sector));
    return std::nullopt;
}

}  // namespace tarvel
