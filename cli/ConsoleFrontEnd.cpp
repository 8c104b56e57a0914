#include "cli/ConsoleFrontEnd.h"

#include "session/UpdateSession.h"

#include <QFileInfo>

namespace tarvel {

namespace {
constexpr int kBarWidth = 30;
}

void ConsoleListener::line(const QString& text) {
    finishBar();
    std::fprintf(out_, "%s%s\n", qPrintable(prefix_), qPrintable(text));
    std::fflush(out_);
}

void ConsoleListener::finishBar() {
    if (!barShown_)
        return;
    std::fputc('\n', out_);
    barShown_ = false;
}

void ConsoleListener::statusChanged(const StatusChanged& event) {
    QString status = event.word;
    if (!event.english.isEmpty())
        status += QStringLiteral(": ") + event.english;
    if (!event.german.isEmpty())
        status += QStringLiteral(" / ") + event.german;
    // The window shows a status again without a visible change ("Checking" after the switch
    // check); a line of its own would only repeat it.
    if (status == lastStatus_)
        return;
    lastStatus_ = status;
    line(status);
}

void ConsoleListener::imageChosen(const ImageChosen& event) {
    line(QStringLiteral("Image: ") + event.path);
}

void ConsoleListener::activityChanged(const ActivityChanged& event) {
    if (event.text == activity_)
        return;
    activity_ = event.text;
    if (terminal_)
        drawBar();
    else if (!event.text.isEmpty())
        line(event.text);
}

void ConsoleListener::progressChanged(const ProgressChanged& event) {
    maximum_ = event.maximum;
    value_ = event.value;
    if (event.percentText == percent_)
        return;
    percent_ = event.percentText;
    if (terminal_)
        drawBar();
    else if (percent_.trimmed() != QLatin1String("0%"))
        line(QStringLiteral("Progress:") + percent_);
}

void ConsoleListener::notice(const Notice& event) {
    finishBar();
    std::fprintf(stderr, "%s%s\n", qPrintable(prefix_), qPrintable(event.text));
    std::fflush(stderr);
}

// A success ends with its summary; anything else with the reason, for the script's log.
void ConsoleListener::exchangeEnded(const ExchangeEnded& ended) {
    finishBar();
    if (ended.kind == ExchangeKind::Update && ended.outcome == Outcome::Success)
        printSummary(ended);
    else if (ended.outcome != Outcome::Success)
        line(QStringLiteral("Reason: ") + reasonCodeText(ended.reason.code) + QStringLiteral(": ") +
             ended.reason.text);
}

// Both figures a technician can compare: the whole update's pace, and how fully its data phase
// used the line (the fixed waits of identification and ending are not the host's slowness).
void ConsoleListener::printSummary(const ExchangeEnded& ended) {
    std::fprintf(out_, "%sSummary: image %s, module %s, %lld bytes sent in %.1f s, %.0f bytes/s",
                 qPrintable(prefix_), qPrintable(QFileInfo(ended.image).fileName()),
                 ended.module.constData(), static_cast<long long>(ended.bytesSent), ended.seconds,
                 ended.bytesSent / ended.seconds);
    if (const QString phase = dataPhaseText(ended); !phase.isEmpty())
        std::fprintf(out_, "; %s", qPrintable(phase));
    std::fprintf(out_, "\n");
    std::fflush(out_);
}

void ConsoleListener::drawBar() {
    const int filled = maximum_ > 0 ? static_cast<int>(qint64(value_) * kBarWidth / maximum_) : 0;
    const QString bar = QString(qBound(0, filled, kBarWidth), QLatin1Char('#')) +
                        QString(kBarWidth - qBound(0, filled, kBarWidth), QLatin1Char('.'));
    std::fprintf(out_, "\r\033[K%s[%s] %5s  %s", qPrintable(prefix_), qPrintable(bar),
                 qPrintable(percent_.trimmed()), qPrintable(activity_));
    std::fflush(out_);
    barShown_ = true;
}

// A box's lines as one line: its English and German halves (split by a carriage return) with
// " / " between them, its other lines with a blank, so that a path stays as it is.
MessageResult ConsoleDialogs::messageBox(const QString& text, const QString& title,
                                         MessageIcon icon, MessageButtons) {
    console_.finishBar();
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"))
        .replace(QLatin1Char('\r'), QStringLiteral(" / "))
        .replace(QLatin1Char('\n'), QLatin1Char(' '));
    const char* kind = icon == MessageIcon::Critical ? "Error" : "Message";
    std::fprintf(stderr, "%s%s (%s): %s\n", qPrintable(prefix_), kind,
                 qPrintable(title.isEmpty() ? kind : title), qPrintable(shown));
    std::fflush(stderr);
    return MessageResult::Ok;
}

}  // namespace tarvel
