#pragma once

#include "activity/ActivityInd.h"
#include "platform/SettingsStore.h"
#include "session/UpdateSession.h"
#include "update/ImageChooser.h"
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

// Everything the main window's logic reaches the world through: the engine's services and the
// window's own views.
struct Platform {
    EngineServices engine;
    StatusView& status;
    PortMenuView& portMenu;
    Surface& activitySurface;
    FileChooser& fileChooser;  // the selection window "Fileselection"
    ToolbarView& toolbar;
    ProgramShell& shell;
};

// The main window's logic: start-up, shut-down, the toolbar, the keys, the expert mode and Add
// File, around the session that does the work with the module and tells the window what to show.
// In expert mode it lets the technician choose among several matching images.
class Form1 : public ImageChooser {
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

    bool choosing() const override { return ManualFileSelect; }
    std::optional<int> choose(const QList<FileChoice>& choices) override;
    // The expert's question before an older approved list than one already used goes through.
    bool allowOlderRelease(const QString& path, const QString& why) override;

    ActivityInd Activity1;
    bool ManualFileSelect = false;
    UpdateSession session;
    PortMenu portMenu;

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
