#pragma once

#include "update/UpdateOutcome.h"

#include <QByteArray>
#include <QString>

namespace tarvel {

class AckTransfer;
class FirmwareLookup;
class RequestTransfer;
class SerialLink;
class UpdateContext;

// The update driver: the setup-switch check, the identification of the module by its
// announcement or by probing its type, the choice of its image, and the hand-over to the
// matching transfer. It does not give up until a module answers.
class UpdateDriver {
  public:
    UpdateDriver(UpdateContext& update, SerialLink& link, FirmwareLookup& lookup,
                 RequestTransfer& request, AckTransfer& ack)
        : update_(update), link_(link), lookup_(lookup), request_(request), ack_(ack) {}

    UpdateOutcome StartUpdate();

  private:
    UpdateOutcome identifyAndTransfer();
    // The setup-switch check until the module stops echoing; false when the update was halted.
    // *echoed: the module echoed at least once.
    bool switchIsOn(bool* echoed);
    void identified(const QByteArray& code);
    UpdateOutcome transferWith(const QString& pattern, bool acknowledged);
    // No port is open: the chosen one is opened again, or the update ends saying why not.
    bool portReady();
    // What the module said in this round besides an answer the update looks for.
    void heardAnything();
    bool moduleLeft(bool heardThisRound);

    UpdateContext& update_;
    SerialLink& link_;
    FirmwareLookup& lookup_;
    RequestTransfer& request_;
    AckTransfer& ack_;
};

}  // namespace tarvel
