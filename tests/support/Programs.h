#pragma once

#include "tests/support/Wire.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tarvel::test {

// The programs as a technician runs them, for the tests that run them whole.

// Starts tarvel-update (or another program) in home, its settings and its record below it.
inline void startCli(QProcess& cli, const QString& home, const QStringList& arguments,
                     const QString& program = QStringLiteral(TARVEL_UPDATE)) {
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_CONFIG_HOME", home + "/config");
    environment.insert("XDG_STATE_HOME", home + "/state");
    environment.insert("LC_ALL", "C.UTF-8");  // the system's reasons in English
    cli.setProcessEnvironment(environment);
    cli.setWorkingDirectory(home);
    cli.start(program, arguments);
}

struct CliRun {
    int exitCode = -1;  // -1: it crashed, or is still running
    QString out;
    QString err;
    double seconds = 0;  // from now until it ended
};

inline CliRun finish(QProcess& cli, int waitSeconds = 100) {
    QElapsedTimer timer;
    timer.start();
    cli.waitForFinished(waitSeconds * 1000);
    CliRun run;
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.out = QString::fromLocal8Bit(cli.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(cli.readAllStandardError());
    run.seconds = timer.elapsed() / 1000.0;
    return run;
}

// tarvel-module-sim on a fresh pseudo-terminal; stopped when the test is done with it, if it has
// not ended by itself. The host opens it by a link of its own: the pseudo-terminal's number is
// another test's as soon as this one is closed, and a program still trying the old name (a lost
// port it reopens) must not reach into another test's line.
class SimulatorProcess {
  public:
    explicit SimulatorProcess(const QStringList& arguments) {
        process_.setProcessChannelMode(QProcess::SeparateChannels);
        process_.start(QStringLiteral(TARVEL_MODULE_SIM),
                       QStringList{"--link", names_.filePath("module")} + arguments);
        if (process_.waitForStarted(30000) && process_.waitForReadyRead(30000))
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
    QTemporaryDir names_;
    QProcess process_;
    QString path_;
};

}  // namespace tarvel::test
