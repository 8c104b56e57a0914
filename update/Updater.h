#pragma once

#include "update/AckTransfer.h"
#include "update/FirmwareLookup.h"
#include "update/Recovery.h"
#include "update/RequestTransfer.h"
#include "update/UpdateContext.h"
#include "update/UpdateDriver.h"
#include "update/UpdateOutcome.h"

#include <QByteArray>
#include <QString>

namespace tarvel {

class SerialLink;
class StatusDisplay;
struct EngineServices;

// The update procedure, one phase to a class: the driver that identifies the module
// (UpdateDriver), the lookup of its image (FirmwareLookup), the two transfers (RequestTransfer,
// AckTransfer) and the recovery of a module that stops answering (Recovery). They share the
// update's fields (UpdateContext) and reach the module through the reply waiter.
class Updater {
  public:
    Updater(const EngineServices& services, SerialLink& link, StatusDisplay& status);

    // The update driver; returns when the update has ended.
    UpdateOutcome StartUpdate();
    // Ends a running update at its next wait, without a message; the port stays as it is.
    void cancel();

    QString FindFirmwareFile(const QString& pattern) { return lookup_.FindFirmwareFile(pattern); }
    bool FileExists(const QString& Path) const { return lookup_.FileExists(Path); }
    UpdateOutcome SendFirmwareOnRequest() { return request_.SendFirmwareOnRequest(); }
    UpdateOutcome SendFirmwareWithAck() { return ack_.SendFirmwareWithAck(); }
    int CountDataBlocks() { return ack_.CountDataBlocks(); }
    bool AwaitReply(const QByteArray& expected) { return recovery_.AwaitReply(expected); }

    // The image file slot shared by both transfers; closed at shut-down.
    void closeImageFile() { update_.image.close(); }
    bool imageFileOpen() const { return update_.image.isOpen(); }

    // The update's shared fields, as far as others look at them.
    const QString& FirmwareFile() const { return update_.FirmwareFile; }
    void setFirmwareFile(const QString& path) { update_.FirmwareFile = path; }
    const QByteArray& ModuleType() const { return update_.ModuleType; }
    void setModuleType(const QByteArray& type) { update_.ModuleType = type; }
    qint16 ErrorCount() const { return update_.ErrorCount; }
    // The next updates take only a module that comes after a round in which nothing answered.
    void setNextModuleOnly(bool only) { update_.nextModuleOnly = only; }
    const QByteArray& identifiedAs() const { return update_.identifiedAs; }
    const QString& chosenImage() const { return update_.chosenImage; }
    const DataPhase& dataPhase() const { return update_.dataPhase; }
    // Why the last update ended; how: the outcome of an update stopped from outside.
    Reason reason(Outcome how) const;

  private:
    UpdateContext update_;
    FirmwareLookup lookup_;
    Recovery recovery_;
    RequestTransfer request_;
    AckTransfer ack_;
    UpdateDriver driver_;
};

}  // namespace tarvel
