#pragma once

#include "activity/ActivityInd.h"
#include "serial/SerialLink.h"
#include "status/StatusDisplay.h"
#include "update/CommunicationTest.h"
#include "update/Updater.h"

#include <QString>

#include <functional>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class FileChooser;
class FileSystem;
class IntervalTimer;
class PortMenuView;
class ProgramShell;
class ToolbarView;
class PropertyBag;
class SerialDevice;
class SettingsStore;
class StatusView;
class Surface;

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

// The main window's logic: it owns every control's state for the whole run, starts up, shuts
// down, and holds the subsystems that the toolbar and keys drive.
class Form1 {
  public:
    static constexpr const char* kApplicationTitle = "Tarvel_Update_Utility";

    // activityLayout holds the stored properties of the activity indicator.
    Form1(Platform& platform, const PropertyBag& activityLayout, QString versionText);

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
    // An update or a communication test holds the port.
    bool exchangeRunning() const { return updater.running() || ComTestBusy; }

    // Told as an update (false) or a communication test (true) begins, and how it ended, for the
    // record of updates.
    std::function<void(bool comTest)> onExchangeBegins;
    std::function<void(const QString& outcome)> onExchangeEnds;

    ActivityInd Activity1;
    StatusDisplay status;
    SerialLink link;
    bool ComTestBusy = false;
    bool ManualFileSelect = false;
    bool LoginSucceeded = false;
    Updater updater;
    CommunicationTest comTest;

    static constexpr int kKeyF1 = 112;
    static constexpr int kKeyF2 = 113;
    static constexpr int kKeyEscape = 27;
    static constexpr int kCtrlT = 20;

  private:
    void runComTest();
    // Asks before an exit would cut a running update short; true to go on with the exit.
    bool confirmExitDuringUpdate();
    void stopExchanges();
    void waitUntilFree(const QString& path);

    // The stored "COM-Port" as a number 0 to 9; anything else (an edited store) counts as 0.
    int savedPort() const;

    Platform& platform_;
    QString versionText_;
    bool exiting_ = false;
};

// "V" and the version's three numbers without leading zeros: 2.00.0008 gives "V2.0.8".
QString versionText(int major, int minor, int revision);

}  // namespace tarvel
