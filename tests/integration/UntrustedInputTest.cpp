// What comes from outside, as a hostile colleague or an unlucky technician would bring it: image
// names that hold escape codes or a line of their own, a file of 8 GB among the images, a module
// that sends garbage at line rate, an output that nobody reads any more, a hang-up, a COLUMNS of
// 2147483647. Each is shown as text, bounded, or ends the update as interrupted, recorded.
#include "tests/support/Programs.h"

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

#include <csignal>

namespace tarvel::test {
namespace {

struct Untrusted : ::testing::Test {
    QString file(const QString& name) const { return home.filePath(name); }
    QString images() const { return home.filePath("images"); }
    void SetUp() override { ASSERT_TRUE(QDir().mkpath(images())); }
    CliRun run(const QStringList& arguments) {
        QProcess cli;
        startCli(cli, home.path(), arguments);
        return finish(cli);
    }
    QStringList update(const QString& port) const {
        return {"update", "--port", port, "--folder", images(), "--timeout", "90"};
    }
    // The history's rows, newest first.
    QJsonArray history() {
        return QJsonDocument::fromJson(run({"history", "--json"}).out.toUtf8()).array();
    }
    QTemporaryDir home;
};

// An image's name is shown as text wherever it goes: the console's Image and Summary lines, the
// log (where a newline in it could forge an Outcome line for the replay) and history's table.
TEST_F(Untrusted, AnImageNameIsShownAsTextEverywhere) {
    const struct {
        QByteArray name;
        QString shown;
    } rows[] = {
        {"DVB-GEN-\x1b]0;PWNED\x07\x1b[31mRED.bin", "DVB-GEN-\\x1b]0;PWNED\\x07\\x1b[31mRED.bin"},
        {"DVB-GEN-\nOutcome: error after 1.0 s, 0 bytes sent.bin",
         "DVB-GEN-\\x0aOutcome: error after 1.0 s, 0 bytes sent.bin"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.shown.toStdString());
        QDir(images()).removeRecursively();
        QDir().mkpath(images());
        ASSERT_TRUE(writeFile(images() + "/" + QString::fromUtf8(row.name), requestImage(1)));
        SimulatorProcess module({"--announce", "UP"});
        const CliRun updated = run(update(module.path()));
        EXPECT_EQ(updated.exitCode, 0) << qPrintable(updated.err);
        EXPECT_FALSE(updated.out.contains('\x1b') || updated.err.contains('\x1b'));
        EXPECT_TRUE(updated.out.contains("Image: " + images() + "/" + row.shown + "\n"))
            << qPrintable(updated.out);
        EXPECT_TRUE(updated.out.contains("Summary: image " + row.shown + ", module UP"))
            << qPrintable(updated.out);
        const QString log = QString::fromUtf8(readFile(updated.out.section("Log: ", 1).trimmed()));
        EXPECT_EQ(log.count("\nOutcome: "), 1) << qPrintable(log);
        EXPECT_TRUE(log.contains("\nImage: " + images() + "/" + row.shown + ", 65536 bytes"))
            << qPrintable(log);
        const CliRun table = run({"history", "--last", "1", "--no-header", "--wide"});
        EXPECT_EQ(table.out.count('\n'), 1) << qPrintable(table.out);
        EXPECT_FALSE(table.out.contains('\x1b'));
        EXPECT_TRUE(table.out.contains(row.shown)) << qPrintable(table.out);
    }
}

// A file of 8 GB (sparse) among the images is refused by its length, without being read.
TEST_F(Untrusted, AnImageLargerThanAnyIsRefusedUnread) {
    const QString huge = images() + "/DVB-GEN-9.bin";
    ASSERT_TRUE(writeFile(huge, {}));
    ASSERT_EQ(::truncate(QFile::encodeName(huge).constData(), qint64(8) << 30), 0);
    SimulatorProcess module({"--announce", "UP"});
    const CliRun updated = run(update(module.path()));
    EXPECT_EQ(updated.exitCode, 2) << qPrintable(updated.out + updated.err);
    EXPECT_TRUE(updated.out.contains("it holds 131072 sectors, this transfer carries 1 to 255"))
        << qPrintable(updated.out + updated.err);
    const QJsonArray rows = history();
    ASSERT_EQ(rows.size(), 1);
    EXPECT_EQ(rows[0].toObject().value("outcome").toString(), "refused");
    EXPECT_EQ(rows[0].toObject().value("image_size").toInteger(), qint64(8) << 30);
}

// An output that nobody reads any more (| head -1) or a hang-up ends each update as interrupted,
// its row and its log whole; the station passes it on to every update it runs.
TEST_F(Untrusted, AClosedOutputOrAHangUpIsAnInterruption) {
    ASSERT_TRUE(writeFile(images() + "/DVB-GEN-2.bin", requestImage(2)));
    const QString program = QStringLiteral(TARVEL_UPDATE);
    struct Row {
        const char* what;
        bool station;
        bool hangUp;
        int interrupted;  // rows
    };
    const Row rows[] = {
        {"update | head -1", false, false, 1},
        {"kill -HUP update", false, true, 1},
        {"station | head -1", true, false, 2},
    };
    int recorded = 0;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        SimulatorProcess first({"--announce", "UP", "--baud", "115200"});
        SimulatorProcess second({"--announce", "UP", "--baud", "115200"});
        const QStringList arguments =
            row.station ? QStringList{"station",     "--port",   first.path(), "--port",
                                      second.path(), "--folder", images()}
                        : update(first.path());
        QProcess cli;
        if (row.hangUp) {
            startCli(cli, home.path(), arguments);
            while (!cli.readAllStandardOutput().contains("Progress:")) {
                ASSERT_TRUE(cli.waitForReadyRead(60000));
            }
            ::kill(pid_t(cli.processId()), SIGHUP);
            const CliRun ended = finish(cli);
            EXPECT_EQ(ended.exitCode, 130) << qPrintable(ended.err);
            EXPECT_TRUE(ended.err.contains("Interrupted")) << qPrintable(ended.err);
        } else {
            // head ends after the first line; the program's next write finds no reader.
            startCli(cli, home.path(),
                     QStringList{"-c", "\"$0\" \"$@\" | head -1", program} + arguments, "/bin/sh");
            const CliRun ended = finish(cli);
            EXPECT_EQ(ended.out.count('\n'), 1) << qPrintable(ended.out);
        }
        recorded += row.interrupted;
        const QJsonArray rowsNow = history();
        ASSERT_EQ(rowsNow.size(), recorded);
        for (int at = 0; at < row.interrupted; ++at) {
            const QJsonObject newest = rowsNow[at].toObject();
            EXPECT_EQ(newest.value("outcome").toString(), "interrupted");
            EXPECT_EQ(newest.value("reason_code").toString(), "interrupted");
            const QByteArray log = readFile(newest.value("log").toString());
            EXPECT_TRUE(log.contains("\nOutcome: interrupted after ")) << log.constData();
        }
    }
}

// A terminal's width from COLUMNS is taken up to a bound: lines are made at that width.
TEST_F(Untrusted, AHugeColumnsIsClampedToTheWidestLine) {
    ASSERT_TRUE(writeFile(images() + "/DVB-GEN-1.bin", requestImage(1)));
    SimulatorProcess module({"--announce", "UP"});
    int terminal = -1, slave = -1;
    termios raw{};
    cfmakeraw(&raw);
    winsize size{24, 80, 0, 0};
    ASSERT_EQ(::openpty(&terminal, &slave, nullptr, &raw, &size), 0);
    QProcess cli;
    cli.setChildProcessModifier([slave] {
        ::dup2(slave, STDOUT_FILENO);
        ::dup2(slave, STDERR_FILENO);
    });
    qputenv("COLUMNS", "2147483647");
    startCli(cli, home.path(), {"station", "--port", module.path(), "--folder", images()});
    qunsetenv("COLUMNS");
    ::close(slave);
    QByteArray shown;
    for (char buffer[4096];;) {
        pollfd ready{terminal, POLLIN, 0};
        if (::poll(&ready, 1, 60000) <= 0)
            break;
        const ssize_t got = ::read(terminal, buffer, sizeof buffer);
        if (got <= 0)
            break;
        shown.append(buffer, got);
    }
    ::close(terminal);
    const CliRun ended = finish(cli, 10);
    EXPECT_EQ(ended.exitCode, 0) << shown.constData();
    for (const QByteArray& line : shown.split('\n')) {
        for (QByteArray drawn : line.split('\r'))
            EXPECT_LE(QString::fromUtf8(drawn.replace("\033[K", "")).size(), 999);
    }
    EXPECT_TRUE(shown.contains("success")) << shown.constData();
}

// A module that sends garbage at line rate: the log keeps what it sent up to its limit and
// counts the rest; the update says the module answers, not that it does not, and why it ended.
TEST_F(Untrusted, AModuleSendingGarbageKeepsTheLogBoundedAndIsNamedForWhatItIs) {
    int module = -1, line = -1;
    char name[128] = {};
    termios raw{};
    cfmakeraw(&raw);
    ASSERT_EQ(::openpty(&module, &line, name, &raw, nullptr), 0);
    ::fcntl(module, F_SETFL, ::fcntl(module, F_GETFL) | O_NONBLOCK);
    QProcess cli;
    startCli(cli, home.path(),
             {"update", "--json", "--port", QString::fromLatin1(name), "--folder", images(),
              "--switch-wait", "15"});
    const QByteArray garbage(4096, '#');
    qint64 sent = 0;
    constexpr qint64 kGarbage = 2 << 20;  // eight times what the log keeps of it
    char echo[4096];
    // Until the update ends: garbage as fast as it reads it, what it sends read and dropped. The
    // wait is long enough for a slow (sanitized, loaded) build to take more than the log keeps.
    while (!cli.waitForFinished(0) && cli.state() != QProcess::NotRunning) {
        pollfd ready{module, short(POLLIN | (sent < kGarbage ? POLLOUT : 0)), 0};
        if (::poll(&ready, 1, 100) < 0)
            break;
        if (ready.revents & POLLIN) {
            while (::read(module, echo, sizeof echo) > 0) {
            }
        }
        if ((ready.revents & POLLOUT) && sent < kGarbage) {
            const ssize_t put = ::write(module, garbage.constData(), size_t(garbage.size()));
            sent += put > 0 ? put : 0;
        }
    }
    const CliRun ended = finish(cli, 30);
    ::close(line);
    ::close(module);
    ASSERT_GT(sent, 512 * 1024);
    EXPECT_EQ(ended.exitCode, 3) << qPrintable(ended.err);
    EXPECT_FALSE(ended.out.contains("no answer")) << qPrintable(ended.out);
    EXPECT_TRUE(ended.out.contains("\"reason_code\":\"unknown-module\"")) << qPrintable(ended.out);
    EXPECT_TRUE(ended.err.contains("Stopped after 15 s (--switch-wait): the module on " +
                                   QString::fromLatin1(name) +
                                   " answers, but neither announces itself nor answers a type "
                                   "probe"))
        << qPrintable(ended.err);
    const QJsonArray rows = history();
    ASSERT_EQ(rows.size(), 1);
    const QString logPath = rows[0].toObject().value("log").toString();
    const QByteArray log = readFile(logPath);
    // 256 KiB of it take about 1.3 MB of lines; all of it would take about 10 MB.
    EXPECT_LT(log.size(), 2 * 1024 * 1024) << qPrintable(logPath);
    EXPECT_TRUE(
        log.contains(" NT  The module has sent more than 262144 bytes: what it sends from "
                     "now on is counted, not logged.\n"));
    EXPECT_TRUE(log.contains(" of them not logged.\nOutcome: ")) << log.right(300).constData();
}

}  // namespace
}  // namespace tarvel::test
