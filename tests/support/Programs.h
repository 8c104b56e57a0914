#pragma once

#include "tests/support/Wire.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

#include <functional>

#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

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

// Runs tarvel-update in home on a pseudo-terminal of that many columns, its stdout and stderr
// both on it; seen is told what has been shown so far as it comes. out is everything shown.
inline CliRun onTerminal(const QString& home, const QStringList& arguments, unsigned short columns,
                         const std::function<void(const QByteArray&, QProcess&)>& seen = {}) {
    int terminal = -1, slave = -1;
    termios raw{};
    cfmakeraw(&raw);  // a newline stays a newline
    winsize size{24, columns, 0, 0};
    if (::openpty(&terminal, &slave, nullptr, &raw, &size) != 0)
        return {};
    QProcess cli;
    cli.setChildProcessModifier([slave] {
        ::dup2(slave, STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
    });
    startCli(cli, home, arguments);
    ::close(slave);
    QByteArray shown;
    for (char buffer[4096];;) {
        pollfd ready{terminal, POLLIN, 0};
        const ssize_t got =
            ::poll(&ready, 1, 120000) > 0 ? ::read(terminal, buffer, sizeof buffer) : 0;
        if (got <= 0)
            break;  // every end of the terminal's other side is closed
        shown.append(buffer, got);
        if (seen)
            seen(shown, cli);
    }
    ::close(terminal);
    CliRun run = finish(cli, 10);
    run.out = QString::fromUtf8(shown);
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
