#include "record/TranscriptFile.h"

#include <QFile>

namespace tarvel {

// What the worker owns: the open file and the lines the disk has not taken yet.
class TranscriptFile::Writing : public BackgroundTask {
  public:
    explicit Writing(const QString& path) : file_(path) {}

    void add(const QByteArray& lines) { queued_ += lines; }

    qint64 work(bool) override {
        if (queued_.isEmpty())
            return kWhenHanded;
        if (!file_.isOpen() && !file_.open(QIODevice::WriteOnly | QIODevice::Append))
            return failed();
        const qint64 written = file_.write(queued_);
        if (written > 0)
            queued_.remove(0, written);
        if (!file_.flush() || !queued_.isEmpty())
            return failed();
        failures_ = 0;
        return kWhenHanded;
    }
    bool pending() const override { return !queued_.isEmpty() && failures_ == 0; }
    QString undone() const override {
        if (queued_.isEmpty())
            return QString();
        return QStringLiteral("The transcript %1 lacks its last %2 bytes: %3.")
            .arg(file_.fileName())
            .arg(queued_.size())
            .arg(reason_.isEmpty() ? QStringLiteral("the disk did not take them in time")
                                   : reason_);
    }

  private:
    qint64 failed() {
        reason_ = file_.errorString();
        if (failures_++ == 0)
            warn(QStringLiteral("Cannot write the transcript %1: %2")
                     .arg(file_.fileName(), reason_));
        return BackgroundWorker::retryAfterMs(failures_);
    }

    QFile file_;
    QByteArray queued_;
    QString reason_;
    int failures_ = 0;
};

TranscriptFile::~TranscriptFile() {
    finish(0);
}

bool TranscriptFile::open(const QString& path, QString* error) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        if (error)
            *error = file.errorString();
        return false;
    }
    path_ = path;
    worker_ = std::make_unique<Worker<Writing>>([path] { return std::make_unique<Writing>(path); });
    return true;
}

void TranscriptFile::append(const QByteArray& lines) {
    if (worker_ && !finished_)
        worker_->post([lines](Writing& writing) { writing.add(lines); });
}

QString TranscriptFile::finish(int ms) {
    if (!worker_ || finished_)
        return QString();
    finished_ = true;
    BackgroundWorker::End end = worker_->finish(QDeadlineTimer(std::max(ms, 0)));
    if (end.leftBehind) {
        end.undone = QStringLiteral(
                         "The transcript %1 is not all written: its disk did not "
                         "answer within %2 s.")
                         .arg(path_)
                         .arg(std::max(ms, 0) / 1000);
    }
    QStringList told = end.untold;
    if (!end.undone.isEmpty())
        told << end.undone;
    return told.join(QLatin1Char('\n'));
}

}  // namespace tarvel
