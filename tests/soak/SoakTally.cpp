#include "tests/soak/SoakTally.h"

#include <cstdio>

namespace tarvel::test {

namespace {
constexpr size_t kCaseNumbersListed = 25;

std::string kindOf(const std::string& problem) {
    return problem.substr(0, problem.find(':'));
}
}  // namespace

std::vector<std::string> SoakTally::add(const SoakCase& soakCase, const SoakResult& result) {
    ++cases;
    ++outcomes[outcomeName(result.outcome)];
    virtualSeconds += result.virtualSeconds;
    const bool success = result.outcome == UpdateOutcome::Success;
    successes += success ? 1 : 0;
    bool fatal = false;
    for (const SoakFault fault : result.firedFaults) {
        ++fired[static_cast<size_t>(fault)];
        fatal = fatal || fault == SoakFault::SilentForGood || fault == SoakFault::HangUp;
    }
    if (soakCase.faults.isEmpty()) {
        ++faultFree;
        faultFreeSuccesses += success ? 1 : 0;
    }
    if (!fatal) {
        ++recoverable;
        recoverableSuccesses += success ? 1 : 0;
    }
    failing += result.problems.empty() ? 0 : 1;
    std::vector<std::string> firstOfKind;
    for (const std::string& problem : result.problems) {
        std::vector<int>& numbers = casesByProblem[kindOf(problem)];
        if (numbers.empty())
            firstOfKind.push_back(kindOf(problem));
        if (numbers.empty() || numbers.back() != soakCase.number)
            numbers.push_back(soakCase.number);
    }
    return firstOfKind;
}

std::string SoakTally::summary(double wallSeconds) const {
    std::string outcomeCounts;
    for (const auto& [name, count] : outcomes)
        outcomeCounts += " " + name + " " + std::to_string(count);
    char line[512];
    std::snprintf(line, sizeof line,
                  "soak: %d cases, %d successes (%d of %d without faults, %d of %d without a "
                  "silence for good or a hang-up), by outcome:%s; %d cases with problems; %.1f "
                  "virtual hours in %.1f s\n",
                  cases, successes, faultFreeSuccesses, faultFree, recoverableSuccesses,
                  recoverable, outcomeCounts.c_str(), failing, virtualSeconds / 3600, wallSeconds);
    std::string text = line;
    text += "soak: faults that struck:";
    for (int kind = 0; kind < kSoakFaultKinds; ++kind) {
        text += std::string(kind ? ", " : " ") + faultName(static_cast<SoakFault>(kind)) + " " +
                std::to_string(fired[static_cast<size_t>(kind)]);
    }
    text += "\n";
    for (const auto& [kind, numbers] : casesByProblem) {
        text += "soak: " + std::to_string(numbers.size()) + " cases with \"" + kind + "\":";
        for (size_t i = 0; i < numbers.size() && i < kCaseNumbersListed; ++i)
            text += " " + std::to_string(numbers[i]);
        text += numbers.size() > kCaseNumbersListed ? " ...\n" : "\n";
    }
    return text;
}

}  // namespace tarvel::test
