#include "activity/ActivityInd.h"
#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/EventPump.h"
#include "platform/FileSystem.h"
#include "platform/StatusView.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "status/StatusTexts.h"
#include "update/ImageCheck.h"
#include "update/ProtocolWaits.h"
#include "update/Updater.h"

namespace tarvel {

namespace {
constexpr int kBlocksPerSector = 4;
constexpr double kRequestTimeout = 4.0;
constexpr int kMaxTimeouts = 4;  // three automatic restarts, the fourth time-out ends the update
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
    QByteArray& received = s_.link.ReceiveBuffer;
    StatusView& view = s_.status.view();

    for (;;) {  // one pass per run; a time-out may start the next
        s_.status.ShowStatus(texts::runningWord(), kRed, texts::runningEnglish(),
                             texts::runningGerman());
        view.setProgressMaximum(static_cast<int>(kBlocksPerSector * sectors));
        view.setProgressValue(0);
        s_.status.showPercent(QStringLiteral("0%"));
        view.setBusyPointer(true);
        s_.status.ResetElapsedTime();
        if (!openImageFile())
            return refuseImage(cannotBeOpened());
        s_.status.ShowActivity(QStringLiteral("Waiting for request..."));
        s_.status.StartElapsedClock();
        if (!send(QByteArray("OK") + static_cast<char>(sectors)))
            return endHalted();
        received.clear();

        bool timedOut = false;
        qint64 blocksSent = 0;
        dataPhase = {};
        for (qint64 sector = 0; sector < sectors && !timedOut; ++sector) {
            WaitStart = s_.clock.seconds();
            for (;;) {
                pumpUntil(WaitStart + kRequestTimeout);
                if (halt() != Halt::None)
                    return endHalted();
                if (received.endsWith("OK"))
                    break;
                if (s_.clock.seconds() - WaitStart > kRequestTimeout) {
                    timedOut = true;
                    break;
                }
            }
            if (timedOut)
                break;
            received.clear();
            warte(waits::kBeforeSector);
            if (halt() != Halt::None)
                return endHalted();
            const int blockLength = s_.link.MSComm1.OutBufferSize();
            for (int block = 0; block < kBlocksPerSector; ++block) {
                s_.pump.processPending();
                // Events may have ended the update (the program is closing, the port is gone).
                if (halt() != Halt::None)
                    return endHalted();
                s_.status.ShowActivity(QStringLiteral("Sending Sector") + number(sector) +
                                       QStringLiteral("   Block") + number(block));
                QByteArray data = imageFile_->read(blockLength);
                if (data.size() < blockLength)
                    data.append(QByteArray(blockLength - data.size(), ' '));
                dataPhaseStarts();
                if (!send(data))
                    return endHalted();
                ++blocksSent;
                view.setProgressValue(static_cast<int>(blocksSent));
                showPercent(blocksSent, kBlocksPerSector * sectors);
            }
            s_.status.ShowActivity(QStringLiteral("Writing Sector") + number(sector));
        }
        if (!timedOut)
            dataPhaseEnds();

        if (!timedOut) {
            WaitStart = s_.clock.seconds();
            for (;;) {
                pumpUntil(WaitStart + kRequestTimeout);
                if (halt() != Halt::None)
                    return endHalted();
                if (received.startsWith("EN")) {
                    closeImageFile();
                    showSuccessThenReady();
                    return UpdateOutcome::Success;
                }
                if (s_.clock.seconds() - WaitStart > kRequestTimeout)
                    break;
            }
        }

        ++ErrorCount;
        if (ErrorCount >= kMaxTimeouts) {
            showUpdateErrorBox();
            readyWithClockStopped();
            closeImageFile();
            return UpdateOutcome::Failed;
        }
        s_.status.ShowStatus(texts::errorWord(), kRed, texts::errorEnglish(), texts::errorGerman());
        warte(2);
        if (halt() != Halt::None)
            return endHalted();
    }
}

}  // namespace tarvel
