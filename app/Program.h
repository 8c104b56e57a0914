#pragma once

#include "app/FileSelectionWindow.h"
#include "app/HistoryWindow.h"
#include "app/MainWindow.h"
#include "platform/ProgramShell.h"
#include "platform/PropertyBag.h"
#include "platform/qt/QtClock.h"
#include "platform/qt/QtDialogs.h"
#include "platform/qt/QtEventPump.h"
#include "platform/qt/QtFileSystem.h"
#include "platform/qt/QtIntervalTimer.h"
#include "record/UpdateRecord.h"
#include "window/Form1.h"

#include <QDesktopServices>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <memory>

namespace tarvel {

class SerialDevice;
class SettingsStore;

// The window program put together: the Qt side of every platform interface, the main window and
// its logic. The settings store and the serial device come from outside, so that tests can give
// their own.
class Program : public ProgramShell {
  public:
    // imageFolder: where the firmware images lie; stateFolder: where the record of updates goes.
    Program(SettingsStore& settings, SerialDevice& serial, QString imageFolder,
            QString stateFolder);

    // Creates and shows the window and runs the start-up.
    void start();

    MainWindow& window() { return window_; }
    Form1& form() { return *form_; }
    QtDialogs& dialogs() { return dialogs_; }
    UpdateRecord& log() { return log_; }
    // Log → History…, once shown.
    HistoryWindow* historyWindow() const { return history_; }
    // Opens a folder in the desktop's file manager; false when nothing opened it.
    std::function<bool(const QUrl&)> openUrl = &QDesktopServices::openUrl;

    // ProgramShell
    std::optional<bool> showExpertLogin() override;
    std::optional<QString> chooseFileToOpen(const QString& title, const QString& filterName,
                                            const QString& filterPattern,
                                            const QString& initialName) override;
    void endProgram() override;

  private:
    void showLastLog();
    void showHistory();
    void openLog(const QString& path);
    void openLogFolder();

    SettingsStore& settings_;
    QtClock clock_;
    QtEventPump pump_;
    QtIntervalTimer timer1_;
    QtDialogs dialogs_;
    QtFileSystem files_;
    FileSelectionWindow fileChooser_;
    MainWindow window_;
    UpdateRecord log_;
    Platform platform_;
    std::unique_ptr<Form1> form_;
    QPointer<HistoryWindow> history_;
};

// The stored layout of the main window's activity indicator.
MemoryPropertyBag activityLayoutOfMainWindow();

}  // namespace tarvel
