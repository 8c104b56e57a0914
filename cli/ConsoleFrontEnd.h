#pragma once

#include "platform/Dialogs.h"
#include "status/ExchangeEvents.h"

#include <QString>

#include <cstdio>

namespace tarvel {

// The console as a listener of the session: every status change and activity line becomes a
// line on stdout, notices go to stderr, and a successful update ends with a summary line. On a
// terminal the progress is one bar that redraws in place instead.
class ConsoleListener : public ExchangeListener {
  public:
    // prefix starts every line, for runs side by side.
    ConsoleListener(std::FILE* out, bool terminal, QString prefix = QString())
        : out_(out), terminal_(terminal), prefix_(std::move(prefix)) {}

    void statusChanged(const StatusChanged& event) override;
    void activityChanged(const ActivityChanged& event) override;
    void progressChanged(const ProgressChanged& event) override;
    void imageChosen(const ImageChosen& event) override;
    void notice(const Notice& event) override;
    void exchangeEnded(const ExchangeEnded& event) override;

    // Ends a progress bar line before other output.
    void finishBar();

  private:
    void line(const QString& text);
    void drawBar();
    void printSummary(const ExchangeEnded& ended);

    std::FILE* out_;
    bool terminal_;
    QString prefix_;
    QString percent_, activity_, lastStatus_;
    int maximum_ = 100;
    int value_ = 0;
    bool barShown_ = false;
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
