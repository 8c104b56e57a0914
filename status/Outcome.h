#pragma once

#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace tarvel {

// The command line's exit statuses.
enum ExitStatus {
    kExitSuccess = 0,
    kExitFailed = 1,  // the update or test failed
    kExitUsage = 2,   // bad usage, a port that cannot be opened, no usable image
    kExitTimeout = 3,
    kExitInterrupted = 130,  // Ctrl+C or SIGTERM, as a shell reports a SIGINT
};

// Of two exit statuses the worse, for a command that runs many exchanges and reports one status
// (station). From the least to the worst: success (0), an update error (1), a time-out (3), bad
// usage, a port that cannot be opened or no usable image (2: the station itself is not set up,
// which every module after would meet too), interrupted (130: the run was stopped, so nothing
// after it is known). A status outside the table counts as an update error.
ExitStatus worseExitStatus(ExitStatus a, ExitStatus b);

// How an exchange ended, as the record, the console, the JSON stream and the history name it.
// Running and Unfinished exist only in the history: an exchange under way, and one whose
// program ended without ending it. Crashed exists only at a station: an update process that
// ended without telling its outcome.
enum class Outcome {
    Success,
    Error,
    NoImage,
    Refused,
    Cancelled,
    Timeout,
    Interrupted,
    Running,
    Unfinished,
    Crashed
};

// The word: "success", "error", "no-image", "refused", "cancelled", "timeout", "interrupted",
// "running", "unfinished", "crashed".
QString outcomeWord(Outcome outcome);
// The command line's exit status for an exchange that ended so.
ExitStatus exitStatusOf(Outcome outcome);
// Whether the outcome is a failure of some kind (neither success nor still running).
bool isFailure(Outcome outcome);
std::optional<Outcome> outcomeFromWord(const QString& word);
// Every word a history row can hold (all but crashed), in the order above.
const QStringList& outcomeWords();

// Why an exchange ended, as a code from a small fixed set that software can act on:
//   completed          the module confirmed the end of the update or the test
//   switch-off         the module echoed the switch check: its setup switch is OFF
//   no-answer          the module said nothing (to the identification, or no "UP" in its test)
//   no-confirmation    the test's answer was not confirmed with "OK"
//   unknown-module     the module answered, but neither announced itself nor a type probe
//   no-image           no image for the module in the image folder
//   not-approved       images for it, but none that the approved list lets through
//   not-signed         trusted keys are in force, but the approved list has no signature (or
//                      there is no list)
//   bad-signature      the list's signature is unusable or does not hold: the list or its
//                      trusted comment was changed after it was signed
//   untrusted-key      the list was signed by a key that is not trusted here
//   older-release      the list's signature holds, but it is older than a list of the same key
//                      this station has already used (a rollback)
//   image-refused      the image cannot be carried by its transfer
//   recovery-exhausted the module stopped answering and the recovery did not bring it back
//   module-error       the module answered "E!" to the same step again and again
//   port-lost          the port failed during the exchange (an adapter pulled)
//   port-unavailable   no port is open, or the chosen one cannot be opened
//   timeout            the command line's --timeout ran out
//   interrupted        Ctrl+C or SIGTERM
//   cancelled          the program was closed
//   usage              the command line was refused before anything was sent
//   crashed            the update's process ended without telling its outcome (a station's)
enum class ReasonCode {
    Completed,
    SwitchOff,
    NoAnswer,
    NoConfirmation,
    UnknownModule,
    NoImage,
    NotApproved,
    NotSigned,
    BadSignature,
    UntrustedKey,
    OlderRelease,
    ImageRefused,
    RecoveryExhausted,
    ModuleError,
    PortLost,
    PortUnavailable,
    Timeout,
    Interrupted,
    Cancelled,
    Usage,
    Crashed,
};
// How many codes there are; each has its row in the one table of words and sentences.
constexpr int kReasonCodeCount = static_cast<int>(ReasonCode::Crashed) + 1;

// The code and a sentence for the log that names the place: the sector and block, the wait and
// how long it lasted, the recoveries tried, the system's error text for the port. Where the
// transfer had got to a sector (and a block in it) when it failed, they come along as numbers.
struct Reason {
    Reason() = default;
    Reason(ReasonCode code, QString text, std::optional<qint64> sector = std::nullopt,
           std::optional<int> block = std::nullopt)
        : code(code), text(std::move(text)), sector(sector), block(block) {}

    ReasonCode code = ReasonCode::Completed;
    QString text;
    std::optional<qint64> sector;
    std::optional<int> block;
};

// "recovery-exhausted", ...
QString reasonCodeText(ReasonCode code);
std::optional<ReasonCode> reasonCodeFromText(const QString& text);

// A reason as a technician reads it, in English and in German: what happened, where (the
// sector and block, when the reason has them) and what to check, without the protocol's words,
// which stay in the reason's text for the log.
struct ReasonAdvice {
    QString english;
    QString german;
};
ReasonAdvice adviceFor(const Reason& reason);

}  // namespace tarvel
