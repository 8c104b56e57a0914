// Thousands of randomised whole updates against a misbehaving simulated module, on virtual time.
// Every case is derived from its case number; TARVEL_SOAK_CASE=<n> runs case n alone and shows
// its exchange on the line.
#include "tests/soak/CrashNote.h"
#include "tests/soak/SoakTally.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace tarvel::test {
namespace {

constexpr int kCases = 4000;

std::optional<int> caseToReplay() {
    const char* value = std::getenv("TARVEL_SOAK_CASE");
    if (value == nullptr || *value == '\0')
        return std::nullopt;
    return std::atoi(value);
}

std::string report(const SoakCase& soakCase, const SoakResult& result) {
    std::string text = describe(soakCase) + "\noutcome " + outcomeName(result.outcome) + " after " +
                       std::to_string(result.virtualSeconds) + " s of virtual time";
    if (!result.identifiedType.isEmpty())
        text += ", the module taken for " + result.identifiedType.toStdString();
    for (const std::string& problem : result.problems)
        text += "\n  problem: " + problem;
    return text + "\nreplay: TARVEL_SOAK_CASE=" + std::to_string(soakCase.number) +
           " build/tests/soak_tests";
}

SoakResult run(const SoakCase& soakCase, bool withTimeline) {
    setRunningCase(soakCase.number, !withTimeline);
    SoakResult result = runSoakCase(soakCase, withTimeline);
    setRunningCase(-1);
    return result;
}

void replay(int number) {
    QLoggingCategory::setFilterRules(QStringLiteral("tarvel.sim.info=true"));
    const SoakCase soakCase = makeSoakCase(number);
    const SoakResult result = run(soakCase, true);
    std::printf("%s\n%s", report(soakCase, result).c_str(), result.timeline.c_str());
    EXPECT_TRUE(result.problems.empty()) << report(soakCase, result);
}

TEST(Soak, RandomisedWholeUpdatesEndConsistently) {
    noteCrashesOfCases();
    if (const std::optional<int> number = caseToReplay()) {
        replay(*number);
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    SoakTally tally;
    for (int number = 0; number < kCases; ++number) {
        const SoakCase soakCase = makeSoakCase(number);
        const SoakResult result = run(soakCase, false);
        // The first case of each kind of problem in full; the summary lists the others.
        if (!tally.add(soakCase, result).empty())
            ADD_FAILURE() << report(soakCase, result);
    }
    const std::chrono::duration<double> wall = std::chrono::steady_clock::now() - start;
    std::printf("%s", tally.summary(wall.count()).c_str());

    EXPECT_EQ(tally.failing, 0) << "cases with problems: see the summary";
    EXPECT_EQ(tally.faultFreeSuccesses, tally.faultFree) << "an update without faults failed";
    EXPECT_GE(tally.successes * 2, tally.cases) << "fewer than half the updates succeeded";
    EXPECT_GE(tally.recoverableSuccesses * 10, tally.recoverable * 8)
        << "fewer than 80% of the updates without a fatal fault recovered";
    for (int kind = 0; kind < kSoakFaultKinds; ++kind) {
        EXPECT_GE(tally.fired[static_cast<size_t>(kind)], 50)
            << faultName(static_cast<SoakFault>(kind)) << " struck too rarely";
    }
}

}  // namespace
}  // namespace tarvel::test
