#pragma once

#include "update/EngineOutcome.h"

#include <QByteArray>

#include <optional>

namespace tarvel {

class UpdateContext;

// The acknowledged transfer's wait for each reply, and the recovery of a module that stopped
// answering.
class Recovery {
  public:
    explicit Recovery(UpdateContext& update) : update_(update) {}

    // A new update: no recovery yet.
    void begin();
    // Waits for the expected reply and brings a silent module back. Nothing: go on (the reply
    // came, or the module is back and restartPending() says so); else how the update ended
    // (halted, or the module given up, shown as such).
    std::optional<UpdateResult> AwaitReply(const QByteArray& expected);
    // A recovery brought the module back since the walk last started again.
    bool restartPending() const { return restartPending_; }
    void restarted() { restartPending_ = false; }
    // The module answered the last failed wait with "E!" instead of the reply.
    bool refused() const { return refused_; }

  private:
    // The module said it is back: the walk starts again at its next block.
    std::nullopt_t moduleBack();
    UpdateResult gaveUp(const QByteArray& expected, double recoverySeconds);

    UpdateContext& update_;
    bool restartPending_ = false;
    bool refused_ = false;
    // Recoveries that brought the module back during this update.
    int recoveries_ = 0;
};

}  // namespace tarvel
