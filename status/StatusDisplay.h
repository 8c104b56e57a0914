#pragma once

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarvel {

class ActivityInd;
class Clock;
class IntervalTimer;
class StatusView;

// The status display every operation reports through: the status word with its two instruction
// lines, the activity line, the ready state, and the elapsed-time clock driven by Timer1.
class StatusDisplay {
  public:
    static constexpr int kTimerIntervalMs = 100;

    StatusDisplay(StatusView& view, Clock& clock, IntervalTimer& timer, ActivityInd& activity);

    // Sets the word's colour (when given), then the word and the two lines.
    void ShowStatus(const QString& word, std::optional<quint32> color, const QString& english,
                    const QString& german);
    void ShowActivity(const QString& text);
    void ShowReady();
    void ResetElapsedTime();
    void StartElapsedClock();
    void StopElapsedClock();
    bool elapsedClockRunning() const;
    // One tick of Timer1: carries the time since the last tick into the display and turns the
    // activity indicator one step.
    void Timer1_Timer();

    // The percentage label, shown at once.
    void showPercent(const QString& text);
    StatusView& view() { return view_; }

    quint8 ElapsedHours = 0;
    quint8 ElapsedMinutes = 0;
    qint16 ElapsedSeconds = 0;
    qint32 ElapsedMillis = 0;
    quint32 LastTickCount = 0;

  private:
    void showElapsedTime();

    StatusView& view_;
    Clock& clock_;
    IntervalTimer& timer_;
    ActivityInd& activity_;
};

}  // namespace tarvel
