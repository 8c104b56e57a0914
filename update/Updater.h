#pragma once

#include "update/AckTransfer.h"
#include "update/EngineOutcome.h"
#include "update/FirmwareLookup.h"
#include "update/Recovery.h"
#include "update/RequestTransfer.h"
#include "update/UpdateContext.h"
#include "update/UpdateDriver.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvel {

class SerialLink;
class StatusDisplay;
struct EngineServices;

// The update procedure, one phase to a class: the driver that identifies the module
// (UpdateDriver), the lookup of its image (FirmwareLookup), the two transfers (RequestTransfer,
// AckTransfer) and the recovery of a module that stops answering (Recovery). Each keeps what it
// learns and returns how it ended; this is what the front ends see of them.
class Updater {
  public:
    Updater(const EngineServices& services, SerialLink& link, StatusDisplay& status);

    // The update driver; returns when the update has ended.
    EngineOutcome StartUpdate();
    // Ends a running update at its next wait, without a message; the port stays as it is.
    void cancel();
    // The next updates take only a module that comes after a round in which nothing answered.
    void setNextModuleOnly(bool only) { driver_.setNextModuleOnly(only); }

    bool FileExists(const QString& Path) const { return lookup_.FileExists(Path); }
    // The image file slot shared by both transfers; closed at shut-down.
    void closeImageFile() { update_.image().close(); }

    // What the last update learnt: how the module made itself known, the image chosen for it
    // (empty before either), and its data phase.
    const QByteArray& identifiedAs() const { return driver_.identification().identifiedAs(); }
    const QString& chosenImage() const { return lookup_.chosenImage(); }
    const DataPhase& dataPhase() const { return update_.track().dataPhase(); }
    // Why the last update ended; how: the outcome of an update stopped from outside.
    Reason reason(Outcome how) const;

  private:
    UpdateContext update_;
    FirmwareLookup lookup_;
    Recovery recovery_;
    RequestTransfer request_;
    AckTransfer ack_;
    UpdateDriver driver_;
    std::optional<Reason> lastReason_;
};

}  // namespace tarvel
