#include "window/WindowListener.h"

#include "activity/ActivityInd.h"
#include "platform/StatusView.h"
#include "status/StatusTexts.h"

namespace tarvel {

void WindowListener::statusChanged(const StatusChanged& event) {
    view_.setTitleColor(event.color);
    view_.setTitleText(event.word);
    view_.setEnglishText(event.english);
    view_.setGermanText(event.german);
}

void WindowListener::activityChanged(const ActivityChanged& event) {
    view_.setActivityText(event.text);
}

void WindowListener::progressChanged(const ProgressChanged& event) {
    view_.setProgressMaximum(event.maximum);
    view_.setProgressValue(event.value);
    view_.setPercentText(event.percentText);
}

void WindowListener::imageChosen(const ImageChosen& event) {
    view_.setFileNameText(event.path);
}

// A slow adapter is told on the activity line, where the technician looks while waiting; other
// notices pass on the status bar.
void WindowListener::notice(const Notice& event) {
    if (event.kind == Notice::Kind::AdapterHint)
        view_.setActivityText(event.text);
    else
        view_.showNotice(event.text);
}

// Every tick of the elapsed-time clock also turns the indicator one step.
void WindowListener::clockChanged(const ClockChanged& event) {
    view_.setElapsedText(event.text);
    if (event.tick) {
        const int step = indicator_.Step();
        indicator_.setStep(step >= 100 ? 0 : step + 10);
    }
}

void WindowListener::indicatorChanged(const IndicatorChanged& event) {
    indicator_.setForeColor(event.color);
}

void WindowListener::busyChanged(const BusyChanged& event) {
    view_.setBusyPointer(event.busy);
}

}  // namespace tarvel

namespace tarvel {

namespace {
// "0:00:41", as the elapsed-time clock shows it.
QString clockText(double seconds) {
    const qint64 whole = qint64(seconds);
    return QStringLiteral("%1:%2:%3")
        .arg(whole / 3600)
        .arg(whole / 60 % 60, 2, 10, QLatin1Char('0'))
        .arg(whole % 60, 2, 10, QLatin1Char('0'));
}
}  // namespace

void WindowListener::exchangeStarted(const ExchangeStarted&) {
    running_ = true;
    view_.setLastOutcome(QString(), QString(), kBlack);
}

// The box's English and German halves (split by a carriage return) as the two lines; the reason
// below the box is in sight at once where the last outcome will stand.
void WindowListener::messageShown(const MessageShown& event) {
    if (!running_ || !event.error)
        return;
    QString english = event.text.section(QLatin1Char('\r'), 0, 0);
    QString german = event.text.section(QLatin1Char('\r'), 1);
    view_.setTitleColor(kRed);
    view_.setTitleText(texts::errorWord());
    view_.setEnglishText(english.replace(QLatin1Char('\n'), QLatin1Char(' ')));
    view_.setGermanText(german.replace(QLatin1Char('\n'), QLatin1Char(' ')));
    if (!event.detail.isEmpty()) {
        const QString separator = QStringLiteral("\n\n");
        view_.setLastOutcome(event.detail.section(separator, 0, 0),
                             event.detail.section(separator, 1), kRed);
    }
}

// "Last update failed after 0:00:32: The module stopped answering ...", and the same in
// German, at the time the clock stopped at (the exchange's own where it did not run).
void WindowListener::exchangeEnded(const ExchangeEnded& event) {
    running_ = false;
    const bool update = event.kind == ExchangeKind::Update;
    // No image was chosen: the field does not keep the last update's.
    if (event.outcome == Outcome::NoImage)
        view_.setFileNameText(QString());
    const QString time = event.clock.isEmpty() ? clockText(event.seconds) : event.clock;
    const QString what = update ? QStringLiteral("Last update") : QStringLiteral("Last test");
    const QString was = update ? QStringLiteral("Letztes Update") : QStringLiteral("Letzter Test");
    if (event.outcome == Outcome::Success) {
        view_.setLastOutcome(
            what + (update ? QStringLiteral(" successful in ") : QStringLiteral(" passed in ")) +
                time + QLatin1Char('.'),
            was + (update ? QStringLiteral(" erfolgreich in ") : QStringLiteral(" bestanden in ")) +
                time + QLatin1Char('.'),
            kGreen);
        return;
    }
    const bool stopped =
        event.outcome == Outcome::Cancelled || event.outcome == Outcome::Interrupted;
    const ReasonAdvice advice = adviceFor(event.reason);
    view_.setLastOutcome(
        what + (stopped ? QStringLiteral(" stopped after ") : QStringLiteral(" failed after ")) +
            time + QStringLiteral(": ") + advice.english,
        was + QStringLiteral(" nach ") + time +
            (stopped ? QStringLiteral(" abgebrochen: ") : QStringLiteral(" fehlgeschlagen: ")) +
            advice.german,
        kRed);
}

}  // namespace tarvel
