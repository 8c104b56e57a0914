#pragma once

#include "tests/soak/SoakRun.h"

#include <array>
#include <map>
#include <string>
#include <vector>

namespace tarvel::test {

// What the soak's cases came to, all together.
struct SoakTally {
    // Returns the kinds of problem the case is the first of.
    std::vector<std::string> add(const SoakCase& soakCase, const SoakResult& result);
    std::string summary(double wallSeconds) const;

    int cases = 0;
    int successes = 0;
    int faultFree = 0;
    int faultFreeSuccesses = 0;
    // Cases whose module was neither silent for good nor hung up: the host can get them done.
    int recoverable = 0;
    int recoverableSuccesses = 0;
    int failing = 0;
    double virtualSeconds = 0;
    std::map<std::string, int> outcomes;
    std::array<int, kSoakFaultKinds> fired{};
    std::map<std::string, std::vector<int>> casesByProblem;  // by the text before its colon
};

}  // namespace tarvel::test
