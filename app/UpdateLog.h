#pragma once

#include "platform/StatusView.h"

#include <QByteArray>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QString>

#include <functional>
#include <optional>

namespace tarvel {

// The record of every update and communication test, for whoever looks into a failed update
// afterwards: one log per exchange in <folder>/logs (a header, every status and activity line
// with its time, the wire transcript, the outcome), of which the newest 100 are kept, and one
// row per update in <folder>/history.csv. A folder that cannot be written costs one warning and
// nothing else: the exchange goes on as if nothing were recorded.
class UpdateLog {
  public:
    struct Exchange {
        QString kind;                       // "update" or "comtest"
        QString port;                       // "COM1", or the device path the command line was given
        QString device;                     // the device path
        std::optional<int> latencyTimerMs;  // of a USB adapter, when known
    };

    UpdateLog(QString folder, QString programVersion);
    ~UpdateLog();

    // A view that shows everything on view and writes the status changes, the activity lines
    // and the chosen image into the open log.
    StatusView& watching(StatusView& view);
    // Bytes on the wire, TX from the host or RX from the module.
    void wire(const char* direction, const QByteArray& bytes);

    void begin(const Exchange& exchange);
    // outcome: success, error, no-image, refused, cancelled, timeout or interrupted.
    void end(const QString& outcome);

    // The module's announcement or type, once it has made itself known.
    std::function<QByteArray()> module;

    const QString& folder() const { return folder_; }
    // The log of the last exchange, empty before the first.
    const QString& lastLog() const { return lastLog_; }
    std::function<void(const QString& warning)> onWarning;

    static constexpr int kKeptLogs = 100;

  private:
    class Watcher;
    void imageChosen(const QString& path);
    void line(const QByteArray& text);
    void event(const char* kind, const QString& text);
    void fail(const QString& what, const QString& reason);
    void noteModule();
    void appendHistory(const QString& outcome);
    void pruneLogs();
    double milliseconds() const { return since_.nsecsElapsed() / 1e6; }

    QString folder_;
    QString version_;
    std::unique_ptr<Watcher> watcher_;
    QFile file_;
    QString lastLog_;
    bool failed_ = false;  // warned once; records nothing more
    bool open_ = false;
    Exchange exchange_;
    QDateTime started_;
    QElapsedTimer since_;
    QString image_;
    qint64 imageSize_ = -1;
    QByteArray imageSha256_;
    QByteArray module_;  // as noted in the log
    qint64 bytesSent_ = 0;
};

}  // namespace tarvel
