#pragma once

#include "platform/Dialogs.h"
#include "status/ExchangeEvents.h"

#include <QString>
#include <QtGlobal>

#include <optional>

namespace tarvel {

class Clock;
class Dialogs;
class ExchangeEvents;
class IntervalTimer;

// The status display every operation reports through: the status word with its two instruction
// lines, the activity line, the progress, the ready state, and the elapsed-time clock driven by
// Timer1. It shows nothing itself: each change goes out as an event to whoever listens.
class StatusDisplay {
  public:
    static constexpr int kTimerIntervalMs = 100;

    StatusDisplay(ExchangeEvents& events, Clock& clock, IntervalTimer& timer, Dialogs& dialogs);

    // The word in the given colour, or in the colour it had; then the two lines.
    void ShowStatus(const QString& word, std::optional<quint32> color, const QString& english,
                    const QString& german);
    void ShowActivity(const QString& text);
    void ShowReady();
    void ResetElapsedTime();
    void StartElapsedClock();
    void StopElapsedClock();
    bool elapsedClockRunning() const;
    // One tick of Timer1: carries the time since the last tick into the display (which also
    // turns the activity indicator one step).
    void Timer1_Timer();

    // The progress bar's value and maximum with the percentage label as shown; sector and block
    // where the transfer has them.
    void showProgress(int value, int maximum, const QString& percentText,
                      std::optional<qint64> sector = std::nullopt,
                      std::optional<int> block = std::nullopt);
    // The value against the current maximum, the label " 25%" rounded down.
    void showProgress(qint64 value, std::optional<qint64> sector = std::nullopt,
                      std::optional<int> block = std::nullopt);
    int progressMaximum() const { return progressMaximum_; }
    void setIndicatorColor(quint32 color);
    void setBusy(bool busy);
    // A message box of the engine's; every listener hears of it before it shows, and the
    // display is up to date behind it.
    MessageResult messageBox(const QString& text, const QString& title, MessageIcon icon,
                             MessageButtons buttons = MessageButtons::Ok,
                             const QString& detail = QString());
    // When (in the events' time) the exchange begun at the last forgetEnd() ended: where the
    // clock stopped or the first box showed, whichever came first; an exchange's own time ends
    // there, whatever the technician takes to close a box or the success takes to be shown.
    std::optional<double> endedAt() const;
    void forgetEnd();
    // The clock as it stopped ("0:00:32") when it ran since forgetEnd(); empty else.
    QString stoppedClock() const;

    ExchangeEvents& events() { return events_; }

    quint8 ElapsedHours = 0;
    quint8 ElapsedMinutes = 0;
    qint16 ElapsedSeconds = 0;
    qint32 ElapsedMillis = 0;
    quint32 LastTickCount = 0;

  private:
    void showElapsedTime(bool tick);
    QString elapsedText() const;

    ExchangeEvents& events_;
    Clock& clock_;
    IntervalTimer& timer_;
    Dialogs& dialogs_;
    quint32 titleColor_ = 0x000000;
    int progressMaximum_ = 100;
    std::optional<double> firstBoxAt_;
    std::optional<double> clockStoppedAt_;
    bool clockStarted_ = false;
    std::optional<StatusChanged> shown_;  // the status as it stands
};

}  // namespace tarvel
