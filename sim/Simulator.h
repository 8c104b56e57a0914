#pragma once

#include "sim/ModuleModel.h"
#include "sim/PtyLine.h"
#include "sim/SimOptions.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QTimer>

namespace tarvel::sim {

// The simulator program: plays a ModuleModel on a pseudo-terminal line with Qt's timers as its
// clock, keeps the flash file up to date and decides when the program ends.
class Simulator {
  public:
    explicit Simulator(SimOptions options);

    // Opens the line and starts the module; on failure says why.
    bool start(QString* error);
    QString devicePath() const { return line_.slavePath(); }
    // Ends the program with status 0: lets queued replies out and saves the flash.
    void stop(const char* reason);

  private:
    void schedule(double delaySeconds, std::function<void()> action);
    void received(const QByteArray& bytes);
    void transmit(const QByteArray& bytes);
    void noteProgress();
    void hangUp();
    void saveFlash();

    SimOptions options_;
    ModuleModel model_;
    PtyLine line_;
    QTimer testRequests_;
    QObject timers_;  // owns the model's pending actions
    QByteArray savedFlash_;
    bool ending_ = false;
};

}  // namespace tarvel::sim
