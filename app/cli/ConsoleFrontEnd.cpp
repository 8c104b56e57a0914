#include "app/cli/ConsoleFrontEnd.h"

namespace tarvel {

namespace {
constexpr int kBarWidth = 30;
}

void ConsoleStatusView::line(const QString& text) {
    finishBar();
    std::fprintf(out_, "%s%s\n", qPrintable(prefix_), qPrintable(text));
    std::fflush(out_);
}

void ConsoleStatusView::finishBar() {
    if (!barShown_)
        return;
    std::fputc('\n', out_);
    barShown_ = false;
}

void ConsoleStatusView::setGermanText(const QString& text) {
    QString status = title_;
    if (!english_.isEmpty())
        status += QStringLiteral(": ") + english_;
    if (!text.isEmpty())
        status += QStringLiteral(" / ") + text;
    // The window shows a status again without a visible change ("Checking" after the switch
    // check); a line of its own would only repeat it.
    if (status == lastStatus_)
        return;
    lastStatus_ = status;
    line(status);
}

void ConsoleStatusView::setFileNameText(const QString& text) {
    line(QStringLiteral("Image: ") + text);
}

void ConsoleStatusView::setActivityText(const QString& text) {
    if (text == activity_)
        return;
    activity_ = text;
    if (terminal_)
        drawBar();
    else if (!text.isEmpty())
        line(text);
}

void ConsoleStatusView::setPercentText(const QString& text) {
    if (text == percent_)
        return;
    percent_ = text;
    if (terminal_)
        drawBar();
    else if (percent_.trimmed() != QLatin1String("0%"))
        line(QStringLiteral("Progress:") + text);
}

void ConsoleStatusView::drawBar() {
    const int filled = maximum_ > 0 ? static_cast<int>(qint64(value_) * kBarWidth / maximum_) : 0;
    const QString bar = QString(qBound(0, filled, kBarWidth), QLatin1Char('#')) +
                        QString(kBarWidth - qBound(0, filled, kBarWidth), QLatin1Char('.'));
    std::fprintf(out_, "\r\033[K%s[%s] %5s  %s", qPrintable(prefix_), qPrintable(bar),
                 qPrintable(percent_.trimmed()), qPrintable(activity_));
    std::fflush(out_);
    barShown_ = true;
}

MessageResult ConsoleDialogs::messageBox(const QString& text, const QString& title,
                                         MessageIcon icon, MessageButtons) {
    status_.finishBar();
    QString shown = text;
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n")).replace('\r', '\n');
    const char* kind = icon == MessageIcon::Critical ? "Error" : "Message";
    std::fprintf(stderr, "%s%s (%s): %s\n", qPrintable(prefix_), kind,
                 qPrintable(title.isEmpty() ? kind : title),
                 qPrintable(shown.replace('\n', QStringLiteral(" / "))));
    std::fflush(stderr);
    return MessageResult::Ok;
}

}  // namespace tarvel
