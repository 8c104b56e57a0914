#pragma once

#include "update/ApprovedImages.h"
#include "update/ImageCheck.h"

#include <QByteArray>
#include <QString>

#include <memory>
#include <optional>

namespace tarvel {

class Clock;
class Dialogs;
class EventPump;
class FileChooser;
class FileSystem;
class ReadableFile;
class SectorWalk;
class SerialLink;
class SettingsStore;
class StatusDisplay;

// How an update ended.
enum class UpdateOutcome {
    Success,    // "Update Successful"
    Failed,     // the module did not answer in time, or the line failed
    NoPort,     // no port was open
    NoImage,    // no image matched, or none was chosen
    Refused,    // the image cannot be carried by its transfer; nothing was sent
    Cancelled,  // stopped from outside (program exit, command-line time-out, Ctrl+C)
    Busy,       // an exchange was already running; this start was ignored
};

// The update procedure: the driver that identifies the module, the lookup of its image, the two
// transfer protocols and the recovery of a module that stops answering. Its procedures work on
// the fields below and report through the status display.
class Updater {
  public:
    struct Services {
        SerialLink& link;
        StatusDisplay& status;
        Clock& clock;
        EventPump& pump;
        Dialogs& dialogs;
        FileSystem& files;
        // The expert's selection window; without one (the command line) nobody chooses.
        FileChooser* chooser;
        const SettingsStore& settings;  // where the approved list may be named
    };

    Updater(Services services, QString imageFolder, const bool& manualFileSelect);
    ~Updater();

    // The update driver; returns when the update has ended.
    UpdateOutcome StartUpdate();
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

    // The transfer's data phase, for the figures a technician compares with the line rate: from
    // its first data byte handed to the port until the module's answer to the last (the end
    // mark, or the last sector's "W!K!"), and the bytes sent meanwhile.
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
    // The setup-switch check until the module stops echoing; false when the update was halted.
    bool switchIsOn();
    void identified(const QByteArray& code);
    UpdateOutcome transferWith(const QString& pattern, bool acknowledged);
    // Opens the image of FirmwareFile as read (once) for this update.
    bool openImageFile();
    // With a list in force: why the image may not be flashed, empty when it may; an approved
    // image's bytes are kept for the transfer.
    QString approve(const QString& name, const QString& path);
    void passOver(const QString& name, const QString& refusal);
    // Takes the bytes of path as the image of this update.
    void keepSnapshot(const QString& path, std::optional<QByteArray> bytes);
    const QByteArray& snapshotSha256();
    QString chooseAmong(const QStringList& names, const QList<qint64>& modified);
    void dataPhaseStarts();
    void dataPhaseEnds();
    // Sends text to the module; false when the line is gone or the update was cancelled.
    bool send(const QByteArray& text);
    void warte(double seconds);
    // Pumps events once, blocking until an event or the deadline.
    void pumpUntil(double deadline);
    // Waits until accept() holds for ReceiveBuffer (true) or more than limit seconds have
    // passed since WaitStart (false). Halts end it too; the caller looks at halt().
    bool waitForReply(bool (*accept)(const QByteArray&), double limit);
    Halt halt() const;

    // The request-driven transfer's steps. A run ends with its result, or with nothing when the
    // module fell silent and the transfer may start again.
    std::optional<UpdateOutcome> requestRun(qint64 sectors);
    std::optional<UpdateOutcome> sendRequestedSector(qint64 sector, qint64& blocksSent);
    // The acknowledged transfer's steps. Done: on to the next. Halted: the update ends by its
    // halt. GaveUp: the recovery gave the module up and has shown so.
    enum class Step { Done, Halted, GaveUp };
    Step sendAckBlock(qint64 sector, int block, const QByteArray& data, int& acknowledged);
    Step writeAckSector(qint64 sector);
    Step sendAndAwait(const QByteArray& text, const QByteArray& reply);
    void restartAckWalk(SectorWalk& walk, int& acknowledged);
    UpdateOutcome endAckStep(Step step);

    // The endings. A halt: the error box for a lost line, then the ready state. A failure: the
    // error box, then the ready state. Both close the image.
    UpdateOutcome endHalted();
    UpdateOutcome endFailed();
    // The transfer went through: the success word, then the ready state.
    UpdateOutcome endSucceeded();
    UpdateOutcome refuseImage(const QString& reason);
    // Nothing was sent: the message, then the ready state with the clock stopped.
    UpdateOutcome endWithoutImage(const QString& message);
    void showUpdateErrorBox();
    void readyWithClockStopped();

    Services s_;
    QString imageFolder_;
    const bool& manualFileSelect_;
    std::unique_ptr<ReadableFile> imageFile_;
    // The image's bytes as read once for this update, and whose they are.
    std::optional<QByteArray> snapshot_;
    QString snapshotPath_;
    QByteArray snapshotSha256_;  // of snapshot_, once worked out
    // The approved list in force for this update; nothing when there is none.
    std::optional<ApprovedImages> approved_;
    bool cancelled_ = false;
    // A recovery succeeded; the walk starts again at its next block (or instead of quitting).
    bool restartPending_ = false;
    // Restarts in a row with no acknowledgement in between.
    int fruitlessRestarts_ = 0;
};

}  // namespace tarvel
