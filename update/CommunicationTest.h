#pragma once

#include "status/Outcome.h"

namespace tarvel {

class Clock;
class ReplyWaiter;
class StatusDisplay;

// The communication test against a module in its test mode: the module asks with "UP", the host
// answers "OK" and the byte 1, the module confirms with "OK". The result is a "Com-Test" box.
class CommunicationTest {
  public:
    CommunicationTest(ReplyWaiter& line, StatusDisplay& status, Clock& clock)
        : line_(line), status_(status), clock_(clock) {}

    // Runs the test; true when the module confirmed.
    bool RunComTest();
    // Why the last test ended as it did.
    const Reason& reason() const { return reason_; }

  private:
    ReplyWaiter& line_;
    StatusDisplay& status_;
    Clock& clock_;
    Reason reason_;
};

}  // namespace tarvel
