#include "tests/soak/CrashNote.h"

#include <csignal>
#include <cstring>
#include <initializer_list>

#include <unistd.h>

namespace tarvel::test {

namespace {

// No case takes more than a second or so; one that runs for a minute loops without waiting,
// where the virtual clock's wait limit cannot catch it.
constexpr unsigned kStuckAfterSeconds = 60;

volatile std::sig_atomic_t runningCase = -1;

void put(const char* text) {
    ssize_t ignored = ::write(STDERR_FILENO, text, std::strlen(text));
    (void)ignored;
}

// Only async-signal-safe calls: no formatting library.
void putNumber(long value) {
    char digits[24];
    int at = sizeof digits - 1;
    digits[at] = '\0';
    do {
        digits[--at] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value > 0 && at > 0);
    put(digits + at);
}

void onFatalSignal(int signal) {
    const long number = runningCase;
    if (number >= 0) {
        put(signal == SIGALRM ? "\nsoak: stuck in case " : "\nsoak: crashed in case ");
        putNumber(number);
        put("\nreplay: TARVEL_SOAK_CASE=");
        putNumber(number);
        put(" build/tests/soak_tests\n");
    }
    std::signal(signal, SIG_DFL);
    std::raise(signal);
}

}  // namespace

void noteCrashesOfCases() {
    for (const int signal : {SIGSEGV, SIGABRT, SIGBUS, SIGFPE, SIGILL, SIGALRM})
        std::signal(signal, onFatalSignal);
}

void setRunningCase(int number, bool watchForStuck) {
    runningCase = number;
    ::alarm(number >= 0 && watchForStuck ? kStuckAfterSeconds : 0);
}

}  // namespace tarvel::test
