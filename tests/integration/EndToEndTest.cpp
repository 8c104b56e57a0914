// Whole updates through the real serial port: tarvel-update against tarvel-module-sim on a
// pseudo-terminal, with the module's flash compared to the image afterwards.
#include "tests/support/Programs.h"
#include "tests/support/Wire.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tarvel::test {
namespace {

struct CliRun {
    int exitCode = -1;
    QString out;
    QString err;
    double seconds = 0;
};

struct EndToEnd : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(folder.isValid()); }
    QString file(const QString& name) const { return folder.filePath(name); }
    void writeImage(const QString& name, const QByteArray& image) {
        QFile out(file(name));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(image);
    }
    QByteArray flash() const {
        QFile in(file("flash.bin"));
        return in.open(QIODevice::ReadOnly) ? in.readAll() : QByteArray();
    }
    QProcessEnvironment environment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_CONFIG_HOME", folder.filePath("config"));
        environment.insert("XDG_STATE_HOME", stateHome.isEmpty() ? file("state") : stateHome);
        return environment;
    }
    void startCli(QProcess& cli, const QStringList& arguments) {
        cli.setProcessEnvironment(environment());
        cli.start(QStringLiteral(TARVEL_UPDATE), arguments);
    }
    void startCli(QProcess& cli, const QString& port, QStringList extra = {},
                  int timeoutSeconds = 90) {
        startCli(cli, QStringList{"update", "--port", port, "--folder", folder.path(), "--timeout",
                                  QString::number(timeoutSeconds)} +
                          extra);
    }
    void writeSettings(const QByteArray& text) {
        QDir().mkpath(folder.filePath("config"));
        QFile settings(folder.filePath("config/Tarvel_Update_Utility.ini"));
        ASSERT_TRUE(settings.open(QIODevice::WriteOnly));
        settings.write(text);
    }
    static CliRun finish(QProcess& cli, int waitSeconds = 100) {
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
    CliRun update(const QString& port, int timeoutSeconds = 90, QStringList extra = {}) {
        QProcess cli;
        startCli(cli, port, extra, timeoutSeconds);
        return finish(cli, timeoutSeconds + 10);
    }
    QTemporaryDir folder;
    QString stateHome;  // where the record of updates goes; empty: a folder of the test's
};

QByteArray twoSectorAckImage() {
    return ackImage(2, [](int sector, int block) { return sector == 1 || block % 3 == 0; });
}

TEST_F(EndToEnd, RequestDrivenUpdateWritesTheImageAndATranscript) {
    const QByteArray image = requestImage(2);
    writeImage("DVB-GEN-2.bin", image);
    SimulatorProcess module({"--announce", "SA", "--flash", file("flash.bin")});
    ASSERT_FALSE(module.path().isEmpty());
    const CliRun run = update(module.path(), 90, {"--transcript", file("wire.txt")});
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.out + run.err);
    EXPECT_TRUE(run.out.contains("Update Successful / Update erfolgreich"));
    EXPECT_TRUE(run.out.contains("Summary: image DVB-GEN-2.bin, module SA, 131087 bytes sent in"));
    // An unpaced pseudo-terminal is faster than any serial line: its share is no figure.
    const QString phase =
        "data phase 131072 bytes in [0-9.]+ s, faster than the line rate "
        "\\(11520 bytes/s\\): no serial line at 115200 baud";
    EXPECT_TRUE(run.out.contains(QRegularExpression("bytes/s; " + phase + "\n")));
    EXPECT_EQ(run.out.count("Checking: "), 1);  // each status change once
    EXPECT_TRUE(flash() == image) << "flash of " << flash().size() << " bytes";
    // The record: the log named on the last line, and a history row.
    const QString log = run.out.trimmed().section('\n', -1).section("Log: ", 1);
    EXPECT_TRUE(log.startsWith(file("state/Tarvel_Update_Utility/logs/")));
    QFile logFile(log);
    ASSERT_TRUE(logFile.open(QIODevice::ReadOnly));
    const QByteArray logged = logFile.readAll();
    EXPECT_TRUE(logged.contains("Module: SA\nImage: " + file("DVB-GEN-2.bin").toUtf8()));
    EXPECT_TRUE(logged.contains("|EN|"));
    EXPECT_TRUE(QString::fromUtf8(logged).contains(QRegularExpression(
        "\nOutcome: success after [0-9.]+ s, 131087 bytes sent; " + phase + "\n$")));
    QProcess history;
    history.setProcessEnvironment(environment());
    history.start(QStringLiteral(TARVEL_UPDATE), {"history", "--csv"});
    const QByteArray row = finish(history).out.toUtf8().split('\n').value(1);
    EXPECT_TRUE(row.contains(",SA,") && row.endsWith(",success," + log.toUtf8() + "\r"))
        << row.constData();

    QFile transcript(file("wire.txt"));
    ASSERT_TRUE(transcript.open(QIODevice::ReadOnly));
    const QByteArray wire = transcript.readAll();
    EXPECT_TRUE(wire.contains(" TX  58 58 58 58 58 58 58 58 58 58 58 58"));
    EXPECT_TRUE(wire.contains(" RX  53 41 ") && wire.contains("|SA|"));
    EXPECT_TRUE(wire.contains(" TX  4F 4B 02 ") && wire.contains("|OK.|"));
    EXPECT_TRUE(wire.contains("|EN|"));
}

TEST_F(EndToEnd, TwoUpdatesSideBySideEachFlashTheirOwnModule) {
    const QByteArray image = requestImage(1);
    writeImage("DVB-GEN-1.bin", image);
    SimulatorProcess first({"--announce", "UP", "--flash", file("first.bin")});
    SimulatorProcess second({"--announce", "TC", "--flash", file("second.bin")});
    QProcess one, two;
    startCli(one, first.path(), {"--prefix-port"});
    startCli(two, second.path(), {"--prefix-port"});
    const CliRun runOne = finish(one);
    const CliRun runTwo = finish(two);
    EXPECT_EQ(runOne.exitCode, 0) << qPrintable(runOne.out + runOne.err);
    EXPECT_EQ(runTwo.exitCode, 0) << qPrintable(runTwo.out + runTwo.err);
    for (const QString& line : runOne.out.split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(line.startsWith("[" + first.path() + "] ")) << qPrintable(line);
    EXPECT_TRUE(runTwo.out.contains("module TC"));
    QFile a(file("first.bin")), b(file("second.bin"));
    ASSERT_TRUE(a.open(QIODevice::ReadOnly) && b.open(QIODevice::ReadOnly));
    EXPECT_TRUE(a.readAll() == image);
    EXPECT_TRUE(b.readAll() == image);
}

TEST_F(EndToEnd, TerminationClosesThePortAndExitsWith130) {
    SimulatorProcess module({"--type", "DVBSAT"});  // no image needed: it never gets that far
    QProcess cli;
    startCli(cli, module.path());
    ASSERT_TRUE(cli.waitForReadyRead(5000));  // identification under way
    cli.terminate();
    const CliRun run = finish(cli, 10);
    EXPECT_EQ(run.exitCode, 130) << qPrintable(run.out + run.err);
    EXPECT_TRUE(run.err.contains("Interrupted: the port is closed."));
    EXPECT_LT(run.seconds, 2.0);
}

// A record that cannot be written (here a file stands where its folder should be) costs a
// warning, not the update.
TEST_F(EndToEnd, AcknowledgedUpdateWritesTheImageWhateverBecomesOfTheRecord) {
    const QByteArray image = twoSectorAckImage();
    writeImage("DVB-SAT-2.bin", image);
    writeImage("not-a-folder", "x");
    stateHome = file("not-a-folder");
    SimulatorProcess module({"--type", "DVBSAT", "--flash", file("flash.bin")});
    const CliRun run = update(module.path());
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.out + run.err);
    EXPECT_TRUE(flash() == image.mid(64)) << "flash of " << flash().size() << " bytes";
    EXPECT_EQ(run.err.count("The update record cannot be written"), 1) << qPrintable(run.err);
    EXPECT_FALSE(run.out.contains("Log: "));
}

TEST_F(EndToEnd, HangUpEndsTheUpdateWithAnError) {
    writeImage("DVB-GEN-2.bin", requestImage(2));
    SimulatorProcess module({"--announce", "UP", "--hang-up-at", "2"});
    const CliRun run = update(module.path());
    EXPECT_EQ(run.exitCode, 1) << qPrintable(run.out + run.err);
    EXPECT_TRUE(run.err.contains("Update error / Update Fehler"));
    EXPECT_LT(run.seconds, 15.0);
}

// Bad usage is refused at once: the cause on one line, then where to read more. A port that
// cannot be opened is named with its cause once. Either way nothing is recorded and not a byte
// reaches the module that COM1, the port of an empty --port, leads to.
TEST_F(EndToEnd, BadCommandLinesAreRefusedBeforeAnyByte) {
    SimulatorProcess module({"--announce", "UP", "--silent-at", "0"});  // logs the round it hears
    writeSettings("[Ports]\nCOM1=" + module.path().toUtf8() + "\n");
    writeImage("a-file", "x");
    ASSERT_EQ(::mkfifo(QFile::encodeName(file("a-fifo")).constData(), 0600), 0);
    const auto refused = [](const QString& cause) {
        return "tarvel-update: " + cause + "\nTry 'tarvel-update --help'.\n";
    };
    const auto unopenable = [](const QString& port, const QString& reason) {
        return port + " cannot be opened: " + reason + "\n";
    };
    const QString folderPath = folder.path(), noTty = file("no-such-tty");
    const struct {
        QStringList arguments;
        QString err;
    } rows[] = {
        {{"update"}, refused("--port is missing.")},
        {{"update", "--port", ""}, refused("--port is empty.")},
        {{"comtest", "--port", "  "}, refused("--port is empty.")},
        {{"update", "--port", "COM1", "--port", "COM1"},
         refused("--port is given more than once.")},
        {{"update", "--port", "COM1", "--folder", folderPath, "--folder", folderPath},
         refused("--folder is given more than once.")},
        {{"update", "--port", "COM1", "--timeout", "9", "--timeout", "9"},
         refused("--timeout is given more than once.")},
        {{"comtest", "--port", "COM1", "--transcript", "a", "--transcript", "b"},
         refused("--transcript is given more than once.")},
        {{"update", "--port", "COM1", "--folder", ""}, refused("--folder is empty.")},
        {{"comtest", "--port", "COM1", "--transcript", ""}, refused("--transcript is empty.")},
        {{"update", "--port", "COM1", "--timeout", "nan"},
         refused("--timeout nan: give seconds above 0, at most 86400.")},
        {{"update", "--port", "COM1", "--timeout", "inf"},
         refused("--timeout inf: give seconds above 0, at most 86400.")},
        {{"update", "--port", "COM1", "--timeout", "1e10"},
         refused("--timeout 1e10: give seconds above 0, at most 86400.")},
        {{"update", "--port", "COM1", "--timeout", "3000000"},
         refused("--timeout 3000000: give seconds above 0, at most 86400.")},
        {{"update", "--port", "COM1", "--timeout", "0"},
         refused("--timeout 0: give seconds above 0, at most 86400.")},
        {{"update", "--port", "COM1", "--frob"}, refused("Unknown option 'frob'.")},
        {{"update", "--port", "COM0"},
         refused("--port COM0: a port is COM1 to COM9 or a device path.")},
        {{"comtest", "--port", "comX"},
         refused("--port comX: a port is COM1 to COM9 or a device path.")},
        {{"update", "--port", "COM1", "--folder", file("none")},
         refused("The image folder " + file("none") + " does not exist.")},
        {{"update", "--port", "COM1", "--folder", file("a-file")},
         refused("The image folder " + file("a-file") + " is not a folder.")},
        {{"comtest", "--port", noTty},
         unopenable(noTty, noTty + " does not exist (is the adapter plugged in?)")},
        {{"comtest", "--port", file("a-file")},
         unopenable(file("a-file"), file("a-file") + " is not a serial device (a regular file)")},
        {{"comtest", "--port", file("a-fifo")},
         unopenable(file("a-fifo"), file("a-fifo") + " is not a serial device (a FIFO)")},
    };
    for (const auto& row : rows) {
        QProcess cli;
        startCli(cli, row.arguments);
        const CliRun run = finish(cli, 5);
        EXPECT_EQ(run.exitCode, 2) << qPrintable(row.arguments.join(' '));
        // The engine's own words may come before an open failure's reason.
        EXPECT_TRUE(run.err.endsWith(row.err) && run.err.count('\n') == row.err.count('\n'))
            << qPrintable(run.err);
        EXPECT_LT(run.seconds, 1.0) << qPrintable(row.arguments.join(' '));
        EXPECT_EQ(module.messages().toStdString(), "") << qPrintable(row.arguments.join(' '));
    }
    EXPECT_FALSE(QFile::exists(file("state")));
}

TEST_F(EndToEnd, ComNameIsMappedThroughTheSettingsStoreAndAMissingImageSendsNothing) {
    SimulatorProcess module({"--announce", "TE", "--flash", file("flash.bin")});
    writeSettings("[Ports]\nCOM3=" + module.path().toUtf8() + "\n");
    // No image: the run ends right after the module has announced itself on Com3.
    const CliRun run = update("COM3");
    EXPECT_EQ(run.exitCode, 2) << qPrintable(run.out + run.err);
    EXPECT_TRUE(run.err.contains("No firmware image DVB-GEN*.bin was found in " + folder.path()));
    EXPECT_TRUE(flash().isEmpty());
}

TEST_F(EndToEnd, CommunicationTestPassesAgainstAModuleInItsTestMode) {
    SimulatorProcess module({"--test-mode", "--test-mode-delay", "0.2"});
    QProcess cli;
    cli.start(QStringLiteral(TARVEL_UPDATE), {"comtest", "--port", module.path()});
    const CliRun run = finish(cli, 15);
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.out + run.err);
    EXPECT_TRUE(run.err.contains("Serial Communication O.K.")) << qPrintable(run.err);
}

}  // namespace
}  // namespace tarvel::test

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
