#pragma once

#include "activity/ActivityInd.h"
#include "platform/SettingsStore.h"
#include "session/UpdateSession.h"
#include "window/PortMenu.h"
#include "window/WindowListener.h"

#include <QString>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class FileChooser;
class FileSystem;
class IntervalTimer;
class PortMenuView;
class ProgramShell;
class PropertyBag;
class SerialDevice;
class SettingsStore;
class StatusView;
class Surface;
class ToolbarView;

// Everything the main window's logic reaches the world through.
struct Platform {
    Clock& clock;
    EventPump& pump;
    SettingsStore& settings;
    Dialogs& dialogs;
    SerialDevice& serial;
    IntervalTimer& timer1;
    StatusView& status;
    PortMenuView& portMenu;
    Surface& activitySurface;
    FileSystem& files;
    FileChooser& fileChooser;
    ToolbarView& toolbar;
    ProgramShell& shell;
    // Where the firmware images lie.
    QString imageFolder;
};

// The main window's logic: start-up, shut-down, the toolbar, the keys, the expert mode and Add
// File, around the session that does the work with the module and tells the window what to show.
class Form1 {
  public:
    static constexpr const char* kApplicationTitle = kApplicationName;

    // activityLayout holds the stored properties of the activity indicator.
    Form1(Platform& platform, const PropertyBag& activityLayout);

    void Form_Load();
    void Form_Unload();
    // Closing by the window's frame: false keeps the window open.
    bool Form_QueryUnload();

    // The technician's controls.
    void Toolbar1_ButtonClick(int index);
    void Form_KeyDown(int KeyCode);
    void Form_KeyPress(int KeyAscii);
    void runUpdate();
    void expertLogin();
    void AddBinFile();
    void exitProgram();
    bool IsFileFree(const QString& path) const;
    bool FileExists(const QString& path) const;

    ActivityInd Activity1;
    bool ManualFileSelect = false;
    UpdateSession session;
    PortMenu portMenu;

    static constexpr int kKeyF1 = 112;
    static constexpr int kKeyF2 = 113;
    static constexpr int kKeyEscape = 27;
    static constexpr int kCtrlT = 20;

  private:
    void runCommunicationTest();
    // Asks before an exit would cut a running update short; true to go on with the exit.
    bool confirmExitDuringUpdate();
    void waitUntilFree(const QString& path);

    // The stored "COM-Port" as a number 0 to 9; anything else (an edited store) counts as 0.
    int savedPort() const;

    Platform& platform_;
    WindowListener shown_;
    bool exiting_ = false;
};

}  // namespace tarvel
