#pragma once

#include "platform/Dialogs.h"
#include "status/ExchangeEvents.h"

#include <QString>

#include <cstdio>
#include <optional>

namespace tarvel {

// The console as a listener of the session: every status change and activity line becomes a
// line on stdout, notices go to stderr, and a successful update ends with a summary line. On a
// terminal the transfer's progress is one line, a bar with the activity, fitted to the
// terminal's width (or COLUMNS) and redrawn in place from the first progress to the transfer's
// end.
class ConsoleListener : public ExchangeListener {
  public:
    // prefix starts every line, for runs side by side.
    ConsoleListener(std::FILE* out, bool terminal, QString prefix = QString())
        : out_(out), terminal_(terminal), prefix_(std::move(prefix)) {}

    void exchangeStarted(const ExchangeStarted& event) override;
    void statusChanged(const StatusChanged& event) override;
    void activityChanged(const ActivityChanged& event) override;
    void progressChanged(const ProgressChanged& event) override;
    void imageChosen(const ImageChosen& event) override;
    void notice(const Notice& event) override;
    void exchangeEnded(const ExchangeEnded& event) override;

    // Ends a progress bar line before other output.
    void finishBar();
    // Ctrl+C or SIGTERM: says first where the update stood; the status lines of its unwinding
    // (back to "Ready") are not shown.
    void interrupted();
    // A line of text with the prefix; on a terminal broken between words to fit.
    void line(const QString& text);

  private:
    void drawBar();
    void printSummary(const ExchangeEnded& ended);

    std::FILE* out_;
    bool terminal_;
    QString prefix_;
    QString percent_, activity_, lastStatus_;
    int maximum_ = 100;
    int value_ = 0;
    bool barShown_ = false;
    bool interrupted_ = false;
    bool update_ = true;
    // The sector and block of the last progress: how far the image got.
    std::optional<qint64> sector_;
    std::optional<int> block_;
    bool dataSent_ = false;
};

// Message boxes as lines on stderr; nobody answers, so every question gets OK.
class ConsoleDialogs : public Dialogs {
  public:
    ConsoleDialogs(ConsoleListener& console, QString prefix = QString())
        : console_(console), prefix_(std::move(prefix)) {}
    MessageResult messageBox(const QString& text, const QString& title, MessageIcon icon,
                             MessageButtons buttons) override;

  private:
    ConsoleListener& console_;
    QString prefix_;
};

}  // namespace tarvel
