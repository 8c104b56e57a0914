#pragma once

#include <QByteArray>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace tarvel::test {

// The programs as a technician runs them, for the tests that run them whole.

inline QByteArray readFile(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// tarvel-module-sim on a fresh pseudo-terminal; stopped when the test is done with it, if it has
// not ended by itself.
class SimulatorProcess {
  public:
    explicit SimulatorProcess(const QStringList& arguments) {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QStringLiteral(TARVEL_MODULE_SIM), arguments);
        if (process_.waitForStarted(5000) && process_.waitForReadyRead(5000))
            path_ = QString::fromLocal8Bit(process_.readLine()).trimmed();
    }
    ~SimulatorProcess() {
        process_.terminate();
        if (!process_.waitForFinished(3000))
            process_.kill();
    }
    // The pseudo-terminal to open as the serial port; empty when the simulator did not start.
    const QString& path() const { return path_; }
    // Its exit status once it has ended by itself, -1 if it does not within five seconds.
    int exitCode() {
        return process_.waitForFinished(5000) && process_.exitStatus() == QProcess::NormalExit
                   ? process_.exitCode()
                   : -1;
    }
    // What it has said on stderr by now, taken without waiting for more.
    QString messages() {
        process_.setReadChannel(QProcess::StandardError);
        process_.waitForReadyRead(0);
        return QString::fromLocal8Bit(process_.readAllStandardError());
    }

  private:
    QProcess process_;
    QString path_;
};

}  // namespace tarvel::test
