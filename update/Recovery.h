#pragma once

#include <QByteArray>

namespace tarvel {

class UpdateContext;

// The acknowledged transfer's wait for each reply, and the recovery of a module that stopped
// answering.
class Recovery {
  public:
    explicit Recovery(UpdateContext& update) : update_(update) {}

    // Waits for the expected reply and brings a silent module back. True: go on (the reply came,
    // or the module is back and ErrorCount is 2); false: the update is over, shown as such
    // unless it was halted.
    bool AwaitReply(const QByteArray& expected);
    // A recovery brought the module back since the walk last started again.
    bool restartPending() const { return restartPending_; }
    void restarted() { restartPending_ = false; }
    // The module answered the last failed wait with "E!" instead of the reply.
    bool refused() const { return refused_; }

  private:
    // The module said it is back: the walk starts again at its next block.
    bool moduleBack();

    UpdateContext& update_;
    bool restartPending_ = false;
    bool refused_ = false;
};

}  // namespace tarvel
