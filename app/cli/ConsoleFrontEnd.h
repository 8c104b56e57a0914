#pragma once

#include "platform/Dialogs.h"
#include "platform/FileChooser.h"
#include "platform/PortMenuView.h"
#include "platform/ProgramShell.h"
#include "platform/StatusView.h"
#include "platform/Surface.h"
#include "platform/ToolbarView.h"

#include <QString>

#include <cstdio>

namespace tarvel {

// The status display as text: every status change and activity line becomes a line on stdout.
// On a terminal the progress is one bar that redraws in place instead.
class ConsoleStatusView : public StatusView {
  public:
    // prefix starts every line, for runs side by side.
    ConsoleStatusView(std::FILE* out, bool terminal, QString prefix = QString())
        : out_(out), terminal_(terminal), prefix_(std::move(prefix)) {}

    void setTitleColor(quint32) override {}
    void setTitleText(const QString& text) override { title_ = text; }
    void setEnglishText(const QString& text) override { english_ = text; }
    // The German line comes last in every status change: the whole status is known now.
    void setGermanText(const QString& text) override;
    void setElapsedText(const QString& text) override { elapsed_ = text; }
    void setProgressMaximum(int maximum) override { maximum_ = maximum; }
    int progressMaximum() const override { return maximum_; }
    void setProgressValue(int value) override { value_ = value; }
    void setPercentText(const QString& text) override;
    void setActivityText(const QString& text) override;
    void setVersionText(const QString&) override {}
    void setFileNameText(const QString& text) override;
    void setBusyPointer(bool) override {}

    const QString& elapsed() const { return elapsed_; }
    // Ends a progress bar line before other output.
    void finishBar();

  private:
    void line(const QString& text);
    void drawBar();

    std::FILE* out_;
    bool terminal_;
    QString prefix_;
    QString title_, english_, elapsed_, percent_, activity_, lastStatus_;
    int maximum_ = 100;
    int value_ = 0;
    bool barShown_ = false;
};

// Message boxes as lines on stderr; nobody answers, so every question gets OK.
class ConsoleDialogs : public Dialogs {
  public:
    ConsoleDialogs(ConsoleStatusView& status, QString prefix = QString())
        : status_(status), prefix_(std::move(prefix)) {}
    MessageResult messageBox(const QString& text, const QString& title, MessageIcon icon,
                             MessageButtons buttons) override;

  private:
    ConsoleStatusView& status_;
    QString prefix_;
};

// Without a window there is no menu, no indicator to draw and no one to pick a file.
class NoPortMenu : public PortMenuView {
  public:
    void setItemVisible(int, bool) override {}
    bool isItemVisible(int) const override { return false; }
    void setItemChecked(int, bool) override {}
    bool isItemChecked(int) const override { return false; }
    void setItemStatusTip(int, const QString&) override {}
    void setMenuEnabled(bool) override {}
};

class NoSurface : public Surface {
  public:
    quint32 backColor() const override { return back_; }
    void setBackColor(quint32 color) override { back_ = color; }
    quint32 foreColor() const override { return fore_; }
    void setForeColor(quint32 color) override { fore_ = color; }
    double widthTwips() const override { return 0; }
    double heightTwips() const override { return 0; }
    double twipsPerPixelX() const override { return 15; }
    double twipsPerPixelY() const override { return 15; }
    quint32 systemColor(int) const override { return 0x00F0F0F0; }
    void present(const QImage&) override {}

  private:
    quint32 back_ = 0;
    quint32 fore_ = 0;
};

class NoToolbar : public ToolbarView {
  public:
    void setButtonVisible(int, bool) override {}
    bool isButtonVisible(int) const override { return false; }
    void setButtonEnabled(int, bool) override {}
    bool isButtonEnabled(int) const override { return false; }
};

class NoShell : public ProgramShell {
  public:
    std::optional<bool> showExpertLogin() override { return std::nullopt; }
    std::optional<QString> chooseFileToOpen(const QString&, const QString&, const QString&,
                                            const QString&) override {
        return std::nullopt;
    }
    void endProgram() override {}
};

class NoFileChooser : public FileChooser {
  public:
    std::optional<int> choose(const QList<FileChoice>&) override { return std::nullopt; }
};

}  // namespace tarvel
