#pragma once

#include <QString>
#include <QStringList>

#include <optional>

namespace tarvel {

// The command line's exit statuses.
enum ExitStatus {
    kExitSuccess = 0,
    kExitFailed = 1,  // the update or test failed
    kExitUsage = 2,   // bad usage, a port that cannot be opened, no usable image
    kExitTimeout = 3,
    kExitInterrupted = 130,  // Ctrl+C or SIGTERM, as a shell reports a SIGINT
};

// How an exchange ended, as the record, the console, the JSON stream and the history name it.
// Running and Unfinished exist only in the history: an exchange under way, and one whose
// program ended without ending it.
enum class Outcome {
    Success,
    Error,
    NoImage,
    Refused,
    Cancelled,
    Timeout,
    Interrupted,
    Running,
    Unfinished
};

// The word: "success", "error", "no-image", "refused", "cancelled", "timeout", "interrupted",
// "running", "unfinished".
QString outcomeWord(Outcome outcome);
// The command line's exit status for an exchange that ended so.
ExitStatus exitStatusOf(Outcome outcome);
// Whether the outcome is a failure of some kind (neither success nor still running).
bool isFailure(Outcome outcome);
std::optional<Outcome> outcomeFromWord(const QString& word);
// Every word, in the order above.
const QStringList& outcomeWords();

}  // namespace tarvel
