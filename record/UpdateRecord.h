#pragma once

#include "record/HistoryRow.h"
#include "record/LogFolder.h"
#include "record/RecordWriter.h"
#include "record/RowForwarding.h"
#include "status/ExchangeEvents.h"
#include "update/ReleaseMemory.h"

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>
#include <optional>

namespace tarvel {

// The record of every update and communication test, for whoever looks into a failed one
// afterwards, as a listener of the session's events: one log per exchange in <folder>/logs (a
// header, every status and activity line with its time, the wire transcript, the outcome), and
// one row per exchange in the history (<folder>/history.sqlite), written when it starts, kept
// up to date while it runs and completed when it ends. The newest 100 logs are kept. It only
// makes the log file itself here; every write goes through the RecordWriter, on a thread of its
// own, so that recording never holds up the line. Whatever cannot be written (a full disk, a
// read-only folder) costs one warning per exchange naming the system's reason, and nothing
// else. Each row names the station (the host's name unless given); a forwarding, when given,
// sends the rows on from the outbox of the station's own history.
//
// It also remembers, per release key, the newest signed list with which a transfer began (in
// the history's rows), and answers the engine's question for it (ReleaseMemory) from the
// writer's thread within kReleaseWaitMs.
class UpdateRecord : public ExchangeListener, public ReleaseMemory {
  public:
    // What the module sends is logged up to this many bytes in one exchange. A whole update of
    // the largest image receives about 30 kB of replies; a module that sends garbage at line
    // rate would otherwise grow the log by about 60 kB a second for as long as the update
    // waits. Beyond it the bytes are counted, not logged.
    static constexpr qint64 kLoggedReceiveLimit = 256 * 1024;
    // How long the engine waits for the newest list of a key before it refuses the list.
    static constexpr int kReleaseWaitMs = 3000;

    // fromModule: waiting for a module that may not come (a station's --repeat), an exchange is
    // recorded from the moment its module makes itself known, its log starting there; one that
    // ends before (Ctrl+C, the port taken away with the module) leaves no log and no row.
    UpdateRecord(QString folder, QString programVersion, QString station = {},
                 std::unique_ptr<RowForwarding> forwarding = nullptr, bool fromModule = false);

    void exchangeStarted(const ExchangeStarted& event) override;
    void statusChanged(const StatusChanged& event) override;
    void activityChanged(const ActivityChanged& event) override;
    void imageChosen(const ImageChosen& event) override;
    void progressChanged(const ProgressChanged& event) override;
    void moduleIdentified(const ModuleIdentified& event) override;
    void wireBytes(const WireBytes& event) override;
    void notice(const Notice& event) override;
    void messageShown(const MessageShown& event) override;
    void exchangeEnded(const ExchangeEnded& event) override;

    Newest newestAccepted(const QString& keyId) override;

    const QString& folder() const { return folder_; }
    // The log of this program's last exchange while it exists; empty when it left none.
    QString lastLog() const;
    // Waits until what was recorded so far is on the disk, at most ms milliseconds; empty when
    // it is, else what is missing.
    QString waitUntilWritten(int ms) { return writer_.waitUntilWritten(ms); }
    // Before the program ends: writes what it still can within ms, then stops recording; then
    // forwards what it can (RowForwarding::finish, a second at most).
    QString finish(int ms = RecordWriter::kExitWaitMs);

    // A warning for the technician; told from the event loop, never from inside an event.
    std::function<void(const QString& warning)> onWarning;
    // Where the log of the exchange that has just started lies; told while it starts.
    std::function<void(const QString& path)> onLogOpened;
    // The history has new rows or changed ones.
    std::function<void()> onHistoryChanged;

  private:
    // Makes the log and the row of the exchange started so.
    void begin(const ExchangeStarted& exchange);
    void writeLogLine(const QByteArray& text);
    // A line of what the technician saw, with its time in the transcript's column.
    void event(double t, const char* kind, const QString& text);
    // The row as known at t; urgent: worth writing at once.
    void recordProgress(double t, bool urgent);
    void fail(const QString& what, const QString& reason);
    // The list of this update is used: its time goes into the row.
    void acceptRelease(double t);

    QString folder_;
    QString version_;
    LogFolder logs_;
    QString station_;
    RecordWriter writer_;
    std::unique_ptr<RowForwarding> forwarder_;  // none without a line's history
    QString logPath_;  // of the running or last exchange; empty when none could be made
    HistoryRow row_;
    bool running_ = false;           // an exchange has started and not ended
    qint64 received_ = 0;            // bytes the module sent in this exchange
    bool warned_ = false;            // this exchange's one warning is given
    std::optional<qint64> release_;  // the time of the signed list this update goes by
    bool fromModule_;
    std::optional<ExchangeStarted> unrecorded_;  // the start of an exchange not recorded yet
};

}  // namespace tarvel
