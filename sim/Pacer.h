#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

namespace tarvel::sim {

// Lets bytes pass at a fixed rate, as a UART does: a token bucket that fills with time. A short
// burst may go at once after a pause, never more.
class Pacer {
  public:
    // bytesPerSecond <= 0: no pacing.
    explicit Pacer(double bytesPerSecond);

    bool paced() const { return rate_ > 0; }
    // How many bytes may pass now (a large number when not paced).
    qint64 allowance();
    void consume(qint64 bytes);
    // Milliseconds until a worthwhile amount may pass again; at least 1.
    int millisecondsToRefill();

  private:
    void refill();

    double rate_;
    double burst_;
    double credit_;
    qint64 lastNs_ = 0;
    QElapsedTimer clock_;
};

}  // namespace tarvel::sim
