#pragma once

#include "update/ImageCheck.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace tarvel {

class ActivityInd;
class Clock;
class Dialogs;
class EventPump;
class FileChooser;
class FileSystem;
class ReadableFile;
class SerialLink;
class StatusDisplay;

// How an update ended.
enum class UpdateOutcome {
    Success,    // "Update Successful"
    Failed,     // the module did not answer in time, or the line failed
    NoPort,     // no port was open
    NoImage,    // no image matched, or none was chosen
    Refused,    // the image cannot be carried by its transfer; nothing was sent
    Cancelled,  // stopped from outside (program exit, command-line time-out)
    Busy,       // an update was already running; this start was ignored
};

// The update procedure: the driver that identifies the module, the lookup of its image, the two
// transfer protocols and the recovery of a module that stops answering. Its procedures work on
// the fields below and report through the status display.
class Updater {
  public:
    struct Services {
        SerialLink& link;
        StatusDisplay& status;
        ActivityInd& activity;
        Clock& clock;
        EventPump& pump;
        Dialogs& dialogs;
        FileSystem& files;
        FileChooser& chooser;
    };

    Updater(Services services, QString imageFolder, const bool& manualFileSelect);
    ~Updater();

    // The update driver; returns when the update has ended.
    UpdateOutcome StartUpdate();
    bool running() const { return running_; }
    // Ends a running update at its next wait, without a message; the port stays as it is.
    void cancel() { cancelled_ = true; }

    // The newest image matching pattern in the program folder, or the technician's choice in
    // expert mode. Empty when there is none.
    QString FindFirmwareFile(const QString& pattern);
    bool FileExists(const QString& Path) const;

    UpdateOutcome SendFirmwareOnRequest();
    UpdateOutcome SendFirmwareWithAck();
    // Data blocks the acknowledged walk visits; -1 when the image cannot be read.
    int CountDataBlocks();
    // Waits for the expected reply and brings a silent module back. False: the update is over.
    bool AwaitReply(const QByteArray& expected);

    // The image file slot shared by both transfers; closed at shut-down.
    void closeImageFile();
    bool imageFileOpen() const { return imageFile_ != nullptr; }

    // The transfer's data phase, for the figures a technician compares with the line rate:
    // from its first block to its last, and the bytes sent meanwhile.
    struct DataPhase {
        double start = -1;
        double end = -1;
        qint64 bytes = 0;
    };
    DataPhase dataPhase;

    QString FirmwareFile;
    QByteArray ModuleType;
    // How the module of the current or last update made itself known: its two-letter
    // announcement or its six-letter type; empty until it did.
    QByteArray identifiedAs;
    qint16 ErrorCount = 0;
    double WaitStart = 0;

  private:
    enum class Halt { None, Cancelled, PortLost };

    UpdateOutcome identifyAndTransfer();
    UpdateOutcome transferWith(const QString& pattern, bool acknowledged);
    bool openImageFile();
    void dataPhaseStarts();
    void dataPhaseEnds();
    // Sends text to the module; false when the line is gone or the update was cancelled.
    bool send(const QByteArray& text);
    void warte(double seconds);
    // Pumps events once, blocking until an event or the deadline.
    void pumpUntil(double deadline);
    Halt halt() const;
    // Ends the update because of a halt: the error box for a lost line, then the ready state.
    UpdateOutcome endHalted();
    UpdateOutcome refuseImage(const QString& reason);
    // Nothing was sent: the message, then the ready state with the clock stopped.
    UpdateOutcome endWithoutImage(const QString& message);
    void showUpdateErrorBox();
    void showSuccessThenReady();
    void showPercent(qint64 done, qint64 total);
    void readyWithClockStopped();

    Services s_;
    QString imageFolder_;
    const bool& manualFileSelect_;
    std::unique_ptr<ReadableFile> imageFile_;
    bool running_ = false;
    bool cancelled_ = false;
    // A recovery succeeded; the walk starts again at its next block (or instead of quitting).
    bool restartPending_ = false;
};

// How the record of updates names an outcome: success, error, no-image, refused or cancelled.
QString outcomeWord(UpdateOutcome outcome);

}  // namespace tarvel
