#pragma once

#include <QByteArray>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class SerialLink;
class StatusDisplay;

// The communication test against a module in its test mode: the module asks with "UP", the host
// answers "OK" and the byte 1, the module confirms with "OK". The result is a "Com-Test" box.
class CommunicationTest {
  public:
    CommunicationTest(SerialLink& link, StatusDisplay& status, Dialogs& dialogs, Clock& clock,
                      EventPump& pump);

    // Runs the test; true when the module confirmed.
    bool RunComTest();
    // Ends a running test at its next look, without a message (the program is ending).
    void cancel() { cancelled_ = true; }

  private:
    // Processes events until accept() holds for ReceiveBuffer or more than limit seconds pass
    // since start; discardOthers empties the buffer after each look.
    bool waitFor(bool (*accept)(const QByteArray&), bool discardOthers);

    SerialLink& link_;
    StatusDisplay& status_;
    Dialogs& dialogs_;
    Clock& clock_;
    EventPump& pump_;
    bool cancelled_ = false;
};

}  // namespace tarvel
