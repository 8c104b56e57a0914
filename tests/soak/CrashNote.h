#pragma once

namespace tarvel::test {

// When the process dies of a signal while a case runs, or a case is stuck, says which case it
// was and how to run it alone, since neither leaves a test report.
void noteCrashesOfCases();
// -1: none. A replay may sit in a debugger, so it can go without the watch for a stuck case.
void setRunningCase(int number, bool watchForStuck = true);

}  // namespace tarvel::test
