#pragma once

#include "activity/ActivityInd.h"
#include "app/StatusDisplay.h"
#include "serial/SerialLink.h"
#include "update/Updater.h"

#include <QString>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class FileChooser;
class FileSystem;
class IntervalTimer;
class PortMenuView;
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
    // Where the firmware images lie: the folder of the program.
    QString programFolder;
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

    ActivityInd Activity1;
    StatusDisplay status;
    SerialLink link;
    bool ComTestBusy = false;
    bool ManualFileSelect = false;
    Updater updater;

  private:
    // The stored "COM-Port" as a number 0 to 9; anything else (an edited store) counts as 0.
    int savedPort() const;

    Platform& platform_;
    QString versionText_;
};

// "V" and the version's three numbers without leading zeros: 2.00.0008 gives "V2.0.8".
QString versionText(int major, int minor, int revision);

}  // namespace tarvel
