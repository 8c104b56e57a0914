#pragma once

#include "sim/ExchangeReplay.h"
#include "sim/PtyLine.h"
#include "sim/SimOptions.h"

#include <QElapsedTimer>
#include <QObject>
#include <QString>

namespace tarvel::sim {

// The simulator program when it replays a recorded exchange: plays the recorded module on a
// pseudo-terminal line and ends when the host closes its port, with status 0 when the host sent
// what was recorded and 1 when it parted from it.
class ReplaySimulator {
  public:
    explicit ReplaySimulator(const SimOptions& options);

    // Opens the line and sends what the module sent before the host's first byte; on failure
    // says why.
    bool start(QString* error);
    QString devicePath() const { return line_.slavePath(); }
    // Ends the program before the host has closed its port: with status 1 after a divergence.
    void stop(const char* reason);

  private:
    void received(const QByteArray& bytes);
    void hostClosed();

    ExchangeReplay replay_;
    PtyLine line_;
    QElapsedTimer clock_;
    QObject timers_;  // owns the replay's pending answers
    bool hostSeen_ = false;
};

}  // namespace tarvel::sim
