#pragma once

#include <QProcess>
#include <QString>
#include <QStringList>

namespace tarvel::test {

// A simulated module on a fresh pseudo-terminal; stopped when the test ends.
class Simulator {
  public:
    explicit Simulator(QStringList arguments) {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QStringLiteral(TARVEL_MODULE_SIM), arguments);
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000))
            path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~Simulator() {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
    }
    const QString& path() const { return path_; }
    QByteArray log() { return process_.readAllStandardError(); }

  private:
    QProcess process_;
    QString path_;
};

}  // namespace tarvel::test
