#include "status/Outcome.h"

#include <array>

namespace tarvel {

namespace {
struct OutcomeRow {
    Outcome outcome;
    const char* word;
    ExitStatus exit;
};
// clang-format off
constexpr std::array<OutcomeRow, 9> kOutcomes{{
    {Outcome::Success,     "success",     kExitSuccess},
    {Outcome::Error,       "error",       kExitFailed},
    {Outcome::NoImage,     "no-image",    kExitUsage},
    {Outcome::Refused,     "refused",     kExitUsage},
    {Outcome::Cancelled,   "cancelled",   kExitFailed},
    {Outcome::Timeout,     "timeout",     kExitTimeout},
    {Outcome::Interrupted, "interrupted", kExitInterrupted},
    {Outcome::Running,     "running",     kExitFailed},
    {Outcome::Unfinished,  "unfinished",  kExitFailed},
}};
// clang-format on

const OutcomeRow& rowOf(Outcome outcome) {
    return kOutcomes.at(static_cast<std::size_t>(outcome));
}
}  // namespace

QString outcomeWord(Outcome outcome) {
    return QString::fromLatin1(rowOf(outcome).word);
}

ExitStatus exitStatusOf(Outcome outcome) {
    return rowOf(outcome).exit;
}

bool isFailure(Outcome outcome) {
    return outcome != Outcome::Success && outcome != Outcome::Running;
}

std::optional<Outcome> outcomeFromWord(const QString& word) {
    for (const OutcomeRow& row : kOutcomes) {
        if (word == QLatin1String(row.word))
            return row.outcome;
    }
    return std::nullopt;
}

ExitStatus worseExitStatus(ExitStatus a, ExitStatus b) {
    // clang-format off
    constexpr std::array<ExitStatus, 5> kLeastToWorst{
        kExitSuccess, kExitFailed, kExitTimeout, kExitUsage, kExitInterrupted};
    // clang-format on
    const auto rank = [&kLeastToWorst](ExitStatus status) {
        for (std::size_t i = 0; i < kLeastToWorst.size(); ++i) {
            if (kLeastToWorst[i] == status)
                return i;
        }
        return std::size_t{1};
    };
    return rank(b) > rank(a) ? b : a;
}

const QStringList& outcomeWords() {
    static const QStringList words = [] {
        QStringList all;
        for (const OutcomeRow& row : kOutcomes)
            all << QString::fromLatin1(row.word);
        return all;
    }();
    return words;
}

namespace {
// clang-format off
constexpr std::array<const char*, 19> kReasonCodes{{
    "completed", "switch-off", "no-answer", "no-confirmation", "unknown-module", "no-image",
    "not-approved", "not-signed", "bad-signature", "untrusted-key", "image-refused", "recovery-exhausted", "module-error", "port-lost",
    "port-unavailable", "timeout", "interrupted", "cancelled", "usage",
}};
// clang-format on
}  // namespace

QString reasonCodeText(ReasonCode code) {
    return QString::fromLatin1(kReasonCodes.at(static_cast<std::size_t>(code)));
}

std::optional<ReasonCode> reasonCodeFromText(const QString& text) {
    for (std::size_t i = 0; i < kReasonCodes.size(); ++i) {
        if (text == QLatin1String(kReasonCodes[i]))
            return static_cast<ReasonCode>(i);
    }
    return std::nullopt;
}

}  // namespace tarvel
