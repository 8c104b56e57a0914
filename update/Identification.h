#pragma once

#include "status/Outcome.h"

#include <QByteArray>
#include <QString>

namespace tarvel {

class UpdateTrack;

// What a module has made known of itself while the update identifies it: whether it echoed the
// switch check, said anything else, or announced itself or answered a type probe; and how many
// rounds that took.
class Identification {
  public:
    // A new update: nothing heard yet. The type of an earlier probed module stays.
    void begin();
    void newRound() { ++rounds_; }
    // The module echoed the switch check: its setup switch is OFF.
    void echoed() { heard_ = Heard::Echo; }
    // An echo no more: whatever comes now is the module's answer.
    void echoEnded();
    // The module said something the identification does not look for.
    void heardOther() { heard_ = Heard::Other; }
    // The module announced itself (two letters) or answered its type's probe (six).
    void identified(const QByteArray& code) { identifiedAs_ = code; }
    void probed(const QByteArray& type);

    // How the module made itself known; empty until it did.
    const QByteArray& identifiedAs() const { return identifiedAs_; }
    // A probed module's six-letter type: the last one that answered its probe.
    const QByteArray& ModuleType() const { return ModuleType_; }

    // Why an update stopped from outside ended, naming what the module said or, once it was
    // identified, where the transfer stood. stopped: "Interrupted", ...
    Reason stoppedReason(const QString& stopped, ReasonCode code, const UpdateTrack& track) const;

  private:
    enum class Heard { Nothing, Echo, Other };
    Heard heard_ = Heard::Nothing;
    int rounds_ = 0;
    QByteArray identifiedAs_;
    QByteArray ModuleType_;
};

}  // namespace tarvel
