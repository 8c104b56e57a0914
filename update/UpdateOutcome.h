#pragma once

namespace tarvel {

// How an update ended, as the engine knows it.
enum class UpdateOutcome {
    Success,    // "Update Successful"
    Failed,     // the module did not answer in time, or the line failed
    NoPort,     // no port was open
    NoImage,    // no image matched, or none was chosen
    Refused,    // the image cannot be carried by its transfer; nothing was sent
    Cancelled,  // stopped from outside (program exit, command-line time-out, Ctrl+C)
    Busy,       // an exchange was already running; this start was ignored
};

}  // namespace tarvel
