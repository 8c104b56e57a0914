#include "cli/ConsoleFrontEnd.h"

#include "cli/TerminalWidth.h"
#include "platform/ShownText.h"
#include "session/UpdateSession.h"
#include "status/StatusTexts.h"

#include <QFileInfo>

#include <algorithm>

namespace tarvel {

namespace {
// The bar's width in characters at most, and the least worth drawing; the activity beside it
// comes first.
constexpr int kBarWidth = 30;
constexpr int kLeastBar = 8;
// The room the activity is given beside the bar, so that the bar keeps its width whichever
// activity it shows: "Sending Sector 255   Block 63".
constexpr int kActivityRoom = 29;
// A terminal whose width is not known is taken to have this many columns.
constexpr int kUsualColumns = 80;
const QString kPartialImage =
    QStringLiteral("The module may hold a partial image: run the update again.");
}  // namespace

void ConsoleListener::exchangeStarted(const ExchangeStarted& event) {
    update_ = event.kind == ExchangeKind::Update;
    interrupted_ = dataSent_ = false;
    sector_.reset();
    block_.reset();
    value_ = 0;
    percent_.clear();
    activity_.clear();
}

// On a terminal a line longer than its width is broken between words, never inside one.
void ConsoleListener::line(const QString& text) {
    finishBar();
    QString shown = prefix_ + shownText(text);
    if (terminal_)
        shown = wrapped(shown, terminalColumns(out_));
    std::fprintf(out_, "%s\n", qPrintable(shown));
    std::fflush(out_);
}

void ConsoleListener::finishBar() {
    if (!barShown_)
        return;
    std::fputc('\n', out_);
    barShown_ = false;
}

// The ready state's lines tell the technician to press the window's Update button: the console,
// which has none, ends with the outcome instead.
void ConsoleListener::statusChanged(const StatusChanged& event) {
    if (interrupted_ || event.word == texts::readyWord())
        return;
    QString status = event.word;
    if (!event.english.isEmpty())
        status += QStringLiteral(": ") + event.english;
    // The window shows a status again without a visible change ("Checking" after the switch
    // check); a line of its own would only repeat it.
    if (status + event.german == lastStatus_)
        return;
    lastStatus_ = status + event.german;
    // Too wide for the terminal, each language gets its line.
    const int columns = terminal_ ? terminalColumns(out_) : 0;
    const QString german = QStringLiteral(" / ") + event.german;
    if (!event.german.isEmpty() && columns > 0 &&
        prefix_.size() + status.size() + german.size() >= columns) {
        line(status);
        line(QStringLiteral("  ") + event.german);
    } else {
        line(event.german.isEmpty() ? status : status + german);
    }
}

void ConsoleListener::imageChosen(const ImageChosen& event) {
    line(QStringLiteral("Image: ") + event.path);
}

void ConsoleListener::activityChanged(const ActivityChanged& event) {
    if (event.text == activity_ || interrupted_)
        return;
    activity_ = event.text;
    if (terminal_ && value_ > 0)
        drawBar();
    else if (!event.text.isEmpty())
        line(event.text);
}

// The bar appears with the first progress of a transfer and ends with it: a progress back to 0
// (the ready state, a restart) draws nothing.
void ConsoleListener::progressChanged(const ProgressChanged& event) {
    maximum_ = event.maximum;
    value_ = event.value;
    if (event.value > 0) {
        dataSent_ = true;
        sector_ = event.sector;
        block_ = event.block;
    }
    if (event.percentText == percent_ || interrupted_)
        return;
    percent_ = event.percentText;
    if (value_ <= 0)
        return;
    if (terminal_)
        drawBar();
    else
        line(QStringLiteral("Progress:") + percent_);
}

void ConsoleListener::interrupted() {
    if (interrupted_)
        return;
    interrupted_ = true;
    finishBar();
    QString where;
    if (!update_)
        where = QStringLiteral("Interrupted during the communication test.");
    else if (!dataSent_)
        where = QStringLiteral(
            "Interrupted before any of the image was sent: the module is as "
            "it was.");
    else if (sector_ && block_)
        where = QStringLiteral("Interrupted during sector %1 block %2.\n%3")
                    .arg(*sector_)
                    .arg(*block_)
                    .arg(kPartialImage);
    else
        where = QStringLiteral("Interrupted while the image was sent.\n") + kPartialImage;
    // A sentence a line, each within a terminal's 80 columns.
    where.replace(QLatin1Char('\n'), QLatin1Char('\n') + prefix_);
    std::fprintf(stderr, "%s%s\n", qPrintable(prefix_), qPrintable(where));
    std::fflush(stderr);
}

void ConsoleListener::notice(const Notice& event) {
    finishBar();
    std::fprintf(stderr, "%s%s\n", qPrintable(prefix_), qPrintable(shownText(event.text)));
    std::fflush(stderr);
}

// A success ends with its summary; anything else with the reason, for the script's log.
void ConsoleListener::exchangeEnded(const ExchangeEnded& ended) {
    finishBar();
    if (ended.kind == ExchangeKind::Update && ended.outcome == Outcome::Success)
        printSummary(ended);
    else if (ended.outcome != Outcome::Success && !interrupted_)
        line(QStringLiteral("Reason: ") + reasonCodeText(ended.reason.code) + QStringLiteral(": ") +
             ended.reason.text);
}

// Both figures a technician can compare: the whole update's pace, and how fully its data phase
// used the line (the fixed waits of identification and ending are not the host's slowness).
void ConsoleListener::printSummary(const ExchangeEnded& ended) {
    QString summary =
        QStringLiteral("Summary: image %1, module %2, %3 bytes sent in %4 s, %5 bytes/s")
            .arg(QFileInfo(ended.image).fileName(), QString::fromLatin1(ended.module),
                 QString::number(ended.bytesSent), QString::number(ended.seconds, 'f', 1),
                 QString::number(ended.bytesSent / ended.seconds, 'f', 0));
    if (const QString phase = dataPhaseText(ended); !phase.isEmpty())
        summary += QStringLiteral("; ") + phase;
    line(summary);
}

// One line, never wider than the terminal, so that a carriage return redraws it in place:
// "[#####.....]  45%  Sending Sector 20   Block 5". The activity keeps its room first; the bar
// takes what is left, up to kBarWidth, and on a very narrow terminal is left out.
void ConsoleListener::drawBar() {
    const int columns = terminalColumns(out_);
    const int room = (columns > 0 ? columns : kUsualColumns) - 1 - int(prefix_.size());
    const QString percent = percent_.trimmed().rightJustified(4);
    const int fixed = 3 + int(percent.size());  // the brackets and a blank
    int width = std::min(kBarWidth, room - fixed - 2 - kActivityRoom);
    width = width >= kLeastBar ? width : room - fixed >= kLeastBar + 2 ? kLeastBar : 0;
    QString shown = percent;
    if (width > 0) {
        const int filled =
            std::clamp(maximum_ > 0 ? int(qint64(value_) * width / maximum_) : 0, 0, width);
        shown = QLatin1Char('[') + QString(filled, QLatin1Char('#')) +
                QString(width - filled, QLatin1Char('.')) + QStringLiteral("] ") + percent;
    }
    const int left = room - int(shown.size()) - 2;
    if (!activity_.isEmpty() && left > 0)
        shown += QStringLiteral("  ") + shownText(activity_).left(left);
    std::fprintf(out_, "\r%s%s\033[K", qPrintable(prefix_),
                 qPrintable(shown.left(std::max(room, 1))));
    std::fflush(out_);
    barShown_ = true;
}

// A box's lines as one line (messageLine), so that a path stays as it is.
MessageResult ConsoleDialogs::messageBox(const QString& text, const QString& title,
                                         MessageIcon icon, MessageButtons) {
    console_.finishBar();
    const QString shown = messageLine(text);
    const char* kind = icon == MessageIcon::Critical ? "Error" : "Message";
    std::fprintf(stderr, "%s%s (%s): %s\n", qPrintable(prefix_), kind,
                 qPrintable(title.isEmpty() ? kind : title), qPrintable(shownText(shown)));
    std::fflush(stderr);
    return MessageResult::Ok;
}

}  // namespace tarvel
