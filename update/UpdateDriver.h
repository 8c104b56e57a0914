#pragma once

#include "update/EngineOutcome.h"
#include "update/Identification.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace tarvel {

class AckTransfer;
class FirmwareLookup;
class Recovery;
class RequestTransfer;
class SerialLink;
class UpdateContext;

// The update driver: the setup-switch check, the identification of the module by its
// announcement or by probing its type, the choice of its image, and the hand-over to the
// matching transfer. It does not give up until a module answers.
class UpdateDriver {
  public:
    UpdateDriver(UpdateContext& update, SerialLink& link, FirmwareLookup& lookup,
                 Recovery& recovery, RequestTransfer& request, AckTransfer& ack)
        : update_(update),
          link_(link),
          lookup_(lookup),
          recovery_(recovery),
          request_(request),
          ack_(ack) {}

    UpdateResult StartUpdate();
    // The next updates take only a module that comes after a whole round of the identification
    // in which nothing answered: the module on the port before has been taken off (a production
    // line's next module).
    void setNextModuleOnly(bool only) { nextModuleOnly_ = only; }
    const Identification& identification() const { return identification_; }

  private:
    UpdateResult identifyAndTransfer();
    // The setup-switch check until the module stops echoing; false when the update was halted.
    // *echoed: the module echoed at least once.
    bool switchIsOn(bool* echoed);
    void identified(const QByteArray& code);
    UpdateResult transferWith(const QString& pattern, bool acknowledged);
    // No port is open: the chosen one is opened again, or the update ends saying why not.
    std::optional<UpdateResult> portUnready();
    // What the module said in this round besides an answer the update looks for.
    void heardAnything();
    bool moduleLeft(bool heardThisRound);

    UpdateContext& update_;
    SerialLink& link_;
    FirmwareLookup& lookup_;
    Recovery& recovery_;
    RequestTransfer& request_;
    AckTransfer& ack_;
    Identification identification_;
    bool nextModuleOnly_ = false;
};

}  // namespace tarvel
