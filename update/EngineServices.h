#pragma once

#include <QString>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class FileSystem;
class ImageChooser;
class IntervalTimer;
class ReleaseMemory;
class SerialDevice;
class SettingsStore;

// Everything the engine reaches the world through. The window program and the command line
// each fill one; the window adds its views beside it.
struct EngineServices {
    Clock& clock;
    EventPump& pump;
    SettingsStore& settings;
    Dialogs& dialogs;
    SerialDevice& serial;
    IntervalTimer& timer1;  // the elapsed-time clock's tick
    FileSystem& files;
    ImageChooser* chooser;  // the expert's choice among images; none on the command line
    QString imageFolder;    // where the firmware images lie
    // The release teams' public keys; none (empty) where no signature is asked for.
    QString trustedKeysFolder = {};
    // The newest signed list of each key used before; none: lists are not compared.
    ReleaseMemory* releases = nullptr;
    // Lets a list older than one already used through, for this run (--allow-older-release).
    bool allowOlderRelease = false;
};

}  // namespace tarvel
