#pragma once

#include "record/HistoryRow.h"
#include "record/HistoryStore.h"
#include "record/LogFile.h"
#include "record/LogFolder.h"
#include "status/ExchangeEvents.h"

#include <QByteArray>
#include <QString>

#include <functional>

namespace tarvel {

// The record of every update and communication test, for whoever looks into a failed one
// afterwards, as a listener of the session's events: one log per exchange in <folder>/logs (a
// header, every status and activity line with its time, the wire transcript, the outcome), and
// one row per exchange in the history (<folder>/history.sqlite), written when it starts and
// completed when it ends. The newest 100 logs are kept. Whatever cannot be written (a full disk,
// a read-only folder) costs one warning per exchange naming the system's reason, and nothing
// else: the exchange goes on as if nothing were recorded.
class UpdateLog : public ExchangeListener {
  public:
    UpdateLog(QString folder, QString programVersion);

    void exchangeStarted(const ExchangeStarted& event) override;
    void statusChanged(const StatusChanged& event) override;
    void activityChanged(const ActivityChanged& event) override;
    void imageChosen(const ImageChosen& event) override;
    void moduleIdentified(const ModuleIdentified& event) override;
    void wireBytes(const WireBytes& event) override;
    void notice(const Notice& event) override;
    void exchangeEnded(const ExchangeEnded& event) override;

    const QString& folder() const { return folder_; }
    // The log of this program's last exchange while it exists; empty when it left none.
    QString lastLog() const;
    std::function<void(const QString& warning)> onWarning;

    static constexpr int kKeptLogs = 100;
    // How often the history row of a running exchange is brought up to date, at the least.
    static constexpr double kProgressSeconds = 5;

  private:
    void startRow();
    void line(const QByteArray& text);
    // A line of what the technician saw, with its time in the transcript's column.
    void event(double t, const char* kind, const QString& text);
    // The row as known at t.
    void recordProgress(double t);
    void fail(const QString& what, const QString& reason);

    QString folder_;
    QString version_;
    LogFolder logs_;
    HistoryStore history_;
    LogFile file_;
    HistoryRow row_;
    bool rowOpen_ = false;   // the row is written and the exchange has not ended
    double progressAt_ = 0;  // when the row was last brought up to date
    bool warned_ = false;    // this exchange's one warning is given
};

}  // namespace tarvel
