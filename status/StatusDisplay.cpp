#include "status/StatusDisplay.h"

#include "activity/ActivityInd.h"
#include "platform/Clock.h"
#include "platform/IntervalTimer.h"
#include "platform/StatusView.h"
#include "status/StatusTexts.h"

namespace tarvel {

StatusDisplay::StatusDisplay(StatusView& view, Clock& clock, IntervalTimer& timer,
                             ActivityInd& activity)
    : view_(view), clock_(clock), timer_(timer), activity_(activity) {
    timer_.setInterval(kTimerIntervalMs);
    timer_.setEnabled(false);
    timer_.onTick = [this] { Timer1_Timer(); };
}

void StatusDisplay::ShowStatus(const QString& word, std::optional<quint32> color,
                               const QString& english, const QString& german) {
    if (color)
        view_.setTitleColor(*color);
    view_.setTitleText(word);
    view_.setEnglishText(english);
    view_.setGermanText(german);
}

void StatusDisplay::ShowActivity(const QString& text) {
    view_.setActivityText(text);
}

void StatusDisplay::ShowReady() {
    activity_.setForeColor(kGreen);
    ShowStatus(texts::readyWord(), kBlack, texts::readyEnglish(), texts::readyGerman());
    view_.setProgressValue(0);
    showPercent(QStringLiteral("0%"));
    view_.setBusyPointer(false);
}

void StatusDisplay::showPercent(const QString& text) {
    view_.setPercentText(text);
}

void StatusDisplay::ResetElapsedTime() {
    ElapsedMillis = 0;
    ElapsedHours = 0;
    ElapsedMinutes = 0;
    ElapsedSeconds = 0;
    showElapsedTime();
}

void StatusDisplay::StartElapsedClock() {
    LastTickCount = clock_.tickCount();
    timer_.setEnabled(true);
}

void StatusDisplay::StopElapsedClock() {
    timer_.setEnabled(false);
}

bool StatusDisplay::elapsedClockRunning() const {
    return timer_.isEnabled();
}

void StatusDisplay::Timer1_Timer() {
    // One reading serves both the difference and the new reference, so no millisecond between
    // two readings is lost. Unsigned subtraction stays right across the 32-bit wrap.
    const quint32 now = clock_.tickCount();
    ElapsedMillis += static_cast<qint32>(now - LastTickCount);
    LastTickCount = now;
    if (ElapsedMillis >= 1000) {
        ElapsedSeconds = static_cast<qint16>(ElapsedSeconds + ElapsedMillis / 1000);
        ElapsedMillis %= 1000;
        if (ElapsedSeconds >= 60) {
            ElapsedMinutes = static_cast<quint8>(ElapsedMinutes + ElapsedSeconds / 60);
            ElapsedSeconds %= 60;
            if (ElapsedMinutes >= 60) {
                ElapsedHours = static_cast<quint8>(ElapsedHours + ElapsedMinutes / 60);
                ElapsedMinutes %= 60;
            }
        }
    }
    showElapsedTime();
    const int step = activity_.Step();
    activity_.setStep(step >= 100 ? 0 : step + 10);
}

void StatusDisplay::showElapsedTime() {
    view_.setElapsedText(QStringLiteral("%1:%2:%3")
                             .arg(ElapsedHours)
                             .arg(ElapsedMinutes, 2, 10, QLatin1Char('0'))
                             .arg(ElapsedSeconds, 2, 10, QLatin1Char('0')));
}

}  // namespace tarvel
