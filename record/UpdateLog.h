#pragma once

#include "status/ExchangeEvents.h"

#include <QByteArray>
#include <QDateTime>
#include <QFile>
#include <QString>

#include <functional>

namespace tarvel {

// The record of every update and communication test, for whoever looks into a failed update
// afterwards: one log per exchange in <folder>/logs (a header, every status and activity line
// with its time, the wire transcript, the outcome), of which the newest 100 are kept, and one
// row per update in <folder>/history.csv. It listens to the session's events. A folder that
// cannot be written costs one warning and nothing else: the exchange goes on as if nothing were
// recorded.
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
    // The log of the last exchange, empty before the first.
    const QString& lastLog() const { return lastLog_; }
    std::function<void(const QString& warning)> onWarning;

    static constexpr int kKeptLogs = 100;

  private:
    void line(const QByteArray& text);
    // A line of what the technician saw, with its time in the transcript's column.
    void event(double t, const char* kind, const QString& text);
    void fail(const QString& what, const QString& reason);
    void appendHistory(const ExchangeEnded& ended);
    void pruneLogs();

    QString folder_;
    QString version_;
    QFile file_;
    QString lastLog_;
    bool failed_ = false;  // warned once; records nothing more
    bool open_ = false;
    ExchangeStarted exchange_;
    QDateTime started_;
    ImageChosen image_;
    QByteArray module_;
};

}  // namespace tarvel
