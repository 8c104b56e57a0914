#pragma once

#include "status/Outcome.h"
#include "update/EngineOutcome.h"

#include <QString>

namespace tarvel {

class UpdateContext;

// How an update ends, the same for both transfers. Each closes the image, leaves the display in
// the ready state with the clock stopped, and returns how and why the update ended.

// The transfer went through: the success word for three seconds, then ready.
UpdateResult endSucceeded(UpdateContext& update);
// The module could not be brought to finish: the error box, then ready.
UpdateResult endFailed(UpdateContext& update, Reason reason);
// Stopped from outside (the reason follows from how, later), or the line was lost (then with
// the error box first).
UpdateResult endHalted(UpdateContext& update);
// The transfer cannot carry the image at path; nothing of it was sent.
UpdateResult refuseImage(UpdateContext& update, const QString& path, const QString& reason);
// No image to send: the message, then ready. code: no-image or not-approved.
UpdateResult endWithoutImage(UpdateContext& update, const QString& message,
                             ReasonCode code = ReasonCode::NoImage);

// The box "Update error" / "Update Fehler", with the update's reason in English and German
// below; the clock stops first.
void showUpdateErrorBox(UpdateContext& update, const Reason& reason);
// A reason as a box shows it below its text: the English sentence, a blank line, the German.
QString reasonDetail(const Reason& reason);
void readyWithClockStopped(UpdateContext& update);

// A message's lines as one sentence: its lines joined by blanks.
QString asSentence(const QString& message);

}  // namespace tarvel
