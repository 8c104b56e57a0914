#pragma once

#include <QElapsedTimer>
#include <QtGlobal>

namespace tarvel::sim {

// Lets bytes pass at a fixed rate, as a UART does: a token bucket that fills with time. A short
// burst may go at once after a pause, never more; but bytes that were already waiting to be
// taken kept the line busy meanwhile, so a late taker loses none of their line time.
class Pacer {
  public:
    // bytesPerSecond <= 0: no pacing.
    explicit Pacer(double bytesPerSecond);

    bool paced() const { return rate_ > 0; }
    double bytesPerSecond() const { return rate_; }
    // How many bytes may pass now (a large number when not paced).
    qint64 allowance();
    void consume(qint64 bytes);
    // How many bytes wait to be taken now: until the next consume, the line is busy with them,
    // and the credit may grow up to them (besides the burst).
    void setWaiting(qint64 bytes);
    // Milliseconds until a worthwhile amount may pass again; at least 1.
    int millisecondsToRefill();
    // Milliseconds until this many bytes may pass; at least 1.
    int millisecondsUntil(qint64 bytes);

  private:
    void refill();

    double rate_;
    double burst_;
    double credit_;
    double waiting_ = 0;
    qint64 lastNs_ = 0;
    QElapsedTimer clock_;
};

}  // namespace tarvel::sim
