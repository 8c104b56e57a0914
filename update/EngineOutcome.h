#pragma once

#include "status/Outcome.h"

#include <optional>

namespace tarvel {

// How an update ended, as the engine knows it.
enum class EngineOutcome {
    Success,    // "Update Successful"
    Error,      // the module did not answer in time, or the line failed
    NoPort,     // no port was open
    NoImage,    // no image matched, or none was chosen
    Refused,    // the image cannot be carried by its transfer; nothing was sent
    Cancelled,  // stopped from outside (program exit, command-line time-out, Ctrl+C)
    Busy,       // an exchange was already running; this start was ignored
};

// What a phase that ended the update returns: how, and why. An update stopped from outside has
// no reason of its own yet: how it was stopped (a time-out, Ctrl+C, the program closing) and
// where it stood make it.
struct UpdateResult {
    EngineOutcome outcome = EngineOutcome::Error;
    std::optional<Reason> reason;
};

}  // namespace tarvel
