#include "status/StatusDisplay.h"

#include "platform/Clock.h"
#include "platform/IntervalTimer.h"
#include "status/ExchangeEvents.h"
#include "status/StatusTexts.h"

#include <algorithm>
#include <cmath>

namespace tarvel {

StatusDisplay::StatusDisplay(ExchangeEvents& events, Clock& clock, IntervalTimer& timer,
                             Dialogs& dialogs)
    : events_(events), clock_(clock), timer_(timer), dialogs_(dialogs) {
    timer_.setInterval(kTimerIntervalMs);
    timer_.setEnabled(false);
    timer_.onTick = [this] { Timer1_Timer(); };
}

void StatusDisplay::ShowStatus(const QString& word, std::optional<quint32> color,
                               const QString& english, const QString& german) {
    if (color)
        titleColor_ = *color;
    // Shown again as it stands ("Checking" after the switch check), a status is no news.
    const StatusChanged status{0, word, english, german, titleColor_};
    if (shown_ && shown_->word == word && shown_->english == english && shown_->german == german &&
        shown_->color == titleColor_)
        return;
    shown_ = status;
    events_.publish(status, &ExchangeListener::statusChanged);
}

MessageResult StatusDisplay::messageBox(const QString& text, const QString& title, MessageIcon icon,
                                        MessageButtons buttons, const QString& detail) {
    events_.deliverPending();
    if (!firstBoxAt_)
        firstBoxAt_ = events_.now();
    events_.publish(MessageShown{0, text, title, icon == MessageIcon::Critical, detail},
                    &ExchangeListener::messageShown);
    if (detail.isEmpty())
        return dialogs_.messageBox(text, title, icon, buttons);
    return dialogs_.detailedMessageBox(text, detail, title, icon);
}

std::optional<double> StatusDisplay::endedAt() const {
    if (firstBoxAt_ && clockStoppedAt_)
        return std::min(*firstBoxAt_, *clockStoppedAt_);
    return firstBoxAt_ ? firstBoxAt_ : clockStoppedAt_;
}

void StatusDisplay::forgetEnd() {
    firstBoxAt_.reset();
    clockStoppedAt_.reset();
    clockStarted_ = false;
}

QString StatusDisplay::stoppedClock() const {
    return clockStarted_ ? elapsedText() : QString();
}

void StatusDisplay::ShowActivity(const QString& text) {
    events_.publish(ActivityChanged{0, text}, &ExchangeListener::activityChanged);
}

void StatusDisplay::ShowReady() {
    setIndicatorColor(kGreen);
    ShowStatus(texts::readyWord(), kBlack, texts::readyEnglish(), texts::readyGerman());
    showProgress(0, progressMaximum_, QStringLiteral("0%"));
    setBusy(false);
}

void StatusDisplay::showProgress(int value, int maximum, const QString& percentText,
                                 std::optional<qint64> sector, std::optional<int> block) {
    progressMaximum_ = maximum;
    const int percent = maximum > 0 ? static_cast<int>(qint64(value) * 100 / maximum) : 0;
    events_.publish(ProgressChanged{0, value, maximum, percent, percentText, sector, block},
                    &ExchangeListener::progressChanged);
}

void StatusDisplay::showProgress(qint64 value, std::optional<qint64> sector,
                                 std::optional<int> block) {
    const double share = static_cast<double>(value) / static_cast<double>(progressMaximum_);
    const auto percent = static_cast<qint64>(std::floor(share * 100.0));
    showProgress(static_cast<int>(qMin<qint64>(value, progressMaximum_)), progressMaximum_,
                 number(percent) + QLatin1Char('%'), sector, block);
}

void StatusDisplay::setIndicatorColor(quint32 color) {
    events_.publish(IndicatorChanged{0, color}, &ExchangeListener::indicatorChanged);
}

void StatusDisplay::setBusy(bool busy) {
    events_.publish(BusyChanged{0, busy}, &ExchangeListener::busyChanged);
}

void StatusDisplay::ResetElapsedTime() {
    ElapsedMillis = 0;
    ElapsedHours = 0;
    ElapsedMinutes = 0;
    ElapsedSeconds = 0;
    showElapsedTime(false);
}

void StatusDisplay::StartElapsedClock() {
    LastTickCount = clock_.tickCount();
    timer_.setEnabled(true);
    clockStarted_ = true;
    clockStoppedAt_.reset();
}

void StatusDisplay::StopElapsedClock() {
    if (timer_.isEnabled() && !clockStoppedAt_)
        clockStoppedAt_ = events_.now();
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
    showElapsedTime(true);
}

QString StatusDisplay::elapsedText() const {
    return QStringLiteral("%1:%2:%3")
        .arg(ElapsedHours)
        .arg(ElapsedMinutes, 2, 10, QLatin1Char('0'))
        .arg(ElapsedSeconds, 2, 10, QLatin1Char('0'));
}

void StatusDisplay::showElapsedTime(bool tick) {
    events_.publish(ClockChanged{0, elapsedText(), tick}, &ExchangeListener::clockChanged);
}

}  // namespace tarvel
