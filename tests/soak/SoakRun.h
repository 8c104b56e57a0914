#pragma once

#include "tests/soak/SoakCase.h"
#include "update/Updater.h"

#include <string>
#include <vector>

namespace tarvel::test {

// How one case went, and what was wrong with it.
struct SoakResult {
    UpdateOutcome outcome = UpdateOutcome::Busy;
    bool transferStarted = false;
    QByteArray identifiedType;  // the type the host's probes found, if any
    double virtualSeconds = 0;
    QList<SoakFault> firedFaults;  // faults whose reply came
    std::vector<std::string> problems;
    std::string timeline;  // what went over the line, when asked for
};

const char* outcomeName(UpdateOutcome outcome);
// Runs the whole update of a case on virtual time and judges it.
SoakResult runSoakCase(const SoakCase& soakCase, bool withTimeline = false);

}  // namespace tarvel::test
