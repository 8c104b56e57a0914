#pragma once

#include "app/ElidedLabel.h"

#include "platform/PortMenuView.h"
#include "platform/StatusView.h"
#include "platform/ToolbarView.h"

#include <QDate>
#include <QMainWindow>

#include <array>
#include <functional>

class QAction;
class QBoxLayout;
class QLabel;
class QLineEdit;
class QMenu;
class QProgressBar;
class QTimer;

namespace tarvel {

class ActivityIndWidget;

// The main window's controls. It shows what the logic tells it through StatusView and
// PortMenuView, and hands clicks, menu picks and closing back through the callbacks.
class MainWindow : public QMainWindow, public StatusView, public PortMenuView, public ToolbarView {
  public:
    static constexpr int kButtonCount = kExit;

    explicit MainWindow(QWidget* parent = nullptr);

    ActivityIndWidget* activitySurface() const { return activity_; }
    QAction* toolbarButton(int index) const { return toolbarButtons_.at(index - 1); }
    QAction* comItem(int index) const { return comItems_.at(index); }
    QMenu* comMenu() const { return comMenu_; }

    std::function<void(int index)> onComClicked;
    std::function<void(int index)> onToolbarClicked;
    // Asked when the window is closed by its frame; the window closes when it returns true.
    std::function<bool()> onCloseRequested;
    // Keys of the whole window, whichever control has the focus, as window/Keys.h codes them.
    std::function<void(int keyCode)> onKeyDown;
    // The "Log" menu.
    std::function<void()> onShowLastLog;
    std::function<void()> onShowHistory;
    std::function<void()> onOpenLogFolder;
    std::function<void(int charCode)> onKeyPress;

    // StatusView
    void setTitleColor(quint32 color) override;
    void setTitleText(const QString& text) override;
    void setEnglishText(const QString& text) override;
    void setGermanText(const QString& text) override;
    void setElapsedText(const QString& text) override;
    void setProgressMaximum(int maximum) override;
    int progressMaximum() const override;
    void setProgressValue(int value) override;
    void setPercentText(const QString& text) override;
    void setActivityText(const QString& text) override;
    void setVersionText(const QString& text) override;
    void setFileNameText(const QString& text) override;
    void setBusyPointer(bool busy) override;
    void showNotice(const QString& text) override;
    void setLastOutcome(const QString& english, const QString& german, quint32 color) override;

    // PortMenuView
    void setItemVisible(int index, bool visible) override;
    bool isItemVisible(int index) const override;
    void setItemChecked(int index, bool checked) override;
    bool isItemChecked(int index) const override;
    void setItemStatusTip(int index, const QString& tip) override;
    void setMenuEnabled(bool enabled) override;
    void setChosenPort(const QString& text) override;

    // ToolbarView
    void setButtonVisible(int index, bool visible) override;
    bool isButtonVisible(int index) const override;
    void setButtonEnabled(int index, bool enabled) override;
    bool isButtonEnabled(int index) const override;

    // The texts as shown, for tests and screenshots.
    QString titleText() const;
    QString englishText() const;
    QString germanText() const;
    QString elapsedText() const;
    QString percentText() const;
    QString activityText() const;
    QString versionText() const;
    QString dateText() const;
    QString chosenPortText() const;
    // The last outcome's English and German lines, one below the other.
    QString lastOutcomeText() const;
    // Today's date for the status bar; a test may set another.
    std::function<QDate()> today = &QDate::currentDate;
    // Shows today's date and looks again just after the next midnight.
    void showToday();
    int progressValue() const;

  protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

  private:
    void buildToolbar();
    void buildMenu();
    QWidget* buildCentralArea();
    void addLastOutcome(QWidget* central, QBoxLayout* layout);
    void buildStatusBar();
    // The width the status row wants: each instruction on one line, the clock at its full size.
    int statusRowWidth(int clockWidth) const;
    void fitStatusRow();

    std::array<QAction*, kButtonCount> toolbarButtons_{};
    std::array<QAction*, kItemCount> comItems_{};
    QMenu* comMenu_ = nullptr;
    QLineEdit* fileName_ = nullptr;
    ActivityIndWidget* activity_ = nullptr;
    QLabel* title_ = nullptr;
    QLabel* english_ = nullptr;
    QLabel* german_ = nullptr;
    QLabel* elapsed_ = nullptr;
    QBoxLayout* statusRow_ = nullptr;
    QProgressBar* progress_ = nullptr;
    QLabel* percent_ = nullptr;
    QLabel* date_ = nullptr;
    QTimer* dateTimer_ = nullptr;
    QLabel* activityLine_ = nullptr;
    QLabel* version_ = nullptr;
    ElidedLabel* chosenPort_ = nullptr;
    QLabel* lastOutcome_ = nullptr;
    QLabel* lastOutcomeGerman_ = nullptr;
    bool busyPointer_ = false;
};

}  // namespace tarvel
