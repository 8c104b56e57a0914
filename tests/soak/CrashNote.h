#pragma once

namespace tarvel::test {

// When the process dies of a signal while a case runs, says which case it was and how to run it
// alone, since a crash leaves no test report.
void noteCrashesOfCases();
void setRunningCase(int number);  // -1: none
void noteRunningCaseFinished();

}  // namespace tarvel::test
