#pragma once

#include "update/UpdateOutcome.h"

#include <QString>

namespace tarvel {

class UpdateContext;

// How an update ends, the same for both transfers. Each closes the image and leaves the
// display in the ready state with the clock stopped.

// The transfer went through: the success word for three seconds, then ready.
UpdateOutcome endSucceeded(UpdateContext& update);
// The module did not answer in time: the error box, then ready.
UpdateOutcome endFailed(UpdateContext& update);
// Stopped from outside, or the line was lost (then with the error box first).
UpdateOutcome endHalted(UpdateContext& update);
// The transfer cannot carry the image; nothing of it was sent.
UpdateOutcome refuseImage(UpdateContext& update, const QString& reason);
// No image to send: the message, then ready.
UpdateOutcome endWithoutImage(UpdateContext& update, const QString& message);

// The box "Update error" / "Update Fehler".
void showUpdateErrorBox(UpdateContext& update);
void readyWithClockStopped(UpdateContext& update);

}  // namespace tarvel
