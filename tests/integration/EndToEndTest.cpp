// Whole updates through the real serial port: tarvel-update against tarvel-module-sim on a
// pseudo-terminal, with the module's flash compared to the image afterwards.
#include "tests/support/Programs.h"

#include <QCoreApplication>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <functional>

namespace tarvel::test {
namespace {

struct EndToEnd : ::testing::Test {
    QString file(const QString& name) const { return folder.filePath(name); }
    QByteArray flash() const { return readFile(file("flash.bin")); }
    CliRun run(const QStringList& arguments, int waitSeconds = 100) {
        QProcess cli;
        startCli(cli, folder.path(), arguments);
        return finish(cli, waitSeconds);
    }
    QStringList update(const QString& port) const {
        return {"update", "--port", port, "--folder", folder.path(), "--timeout", "90"};
    }
    QTemporaryDir folder;
};

TEST_F(EndToEnd, RequestDrivenUpdateWritesTheImageAndItsRecord) {
    const QByteArray image = requestImage(2);
    writeFile(file("DVB-GEN-2.bin"), image);
    SimulatorProcess module({"--announce", "SA", "--flash", file("flash.bin")});
    ASSERT_FALSE(module.path().isEmpty());
    const CliRun run = this->run(update(module.path()));
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
    const QByteArray logged = readFile(log);
    EXPECT_TRUE(logged.contains("Module: SA\nImage: " + file("DVB-GEN-2.bin").toUtf8()));
    EXPECT_TRUE(logged.contains("|EN|"));
    EXPECT_TRUE(QString::fromUtf8(logged).contains(
        QRegularExpression("\nOutcome: success after [0-9.]+ s, 131087 bytes sent; " + phase +
                           "; reason completed: The module confirmed the end of the update.\n$")));
    const QByteArray row = this->run({"history", "--csv"}).out.toUtf8().split('\n').value(1);
    EXPECT_TRUE(row.contains(",SA,") && row.endsWith(",success," + log.toUtf8() +
                                                     ",completed,The module confirmed the end of "
                                                     "the update.,,,\r"))
        << row.constData();
}

// Stopped while the module has not made itself known: by SIGTERM (130, and no "Ready" after it),
// or by --switch-wait (3, a time-out; the module's switch OFF here), each with its own words.
TEST_F(EndToEnd, StoppedBeforeTheModuleIsKnownSaysWhyAndClosesThePort) {
    struct Row {
        QStringList extra;
        int exitCode;
        QString err;  // the message that must be there
    };
    const Row rows[] = {
        {{}, 130, "Interrupted before any of the image was sent: the module is as it was.\n"},
        {{"--switch-wait", "1"},
         3,
         "Stopped after 1 s (--switch-wait): no answer from the "
         "module on %1: is it connected and powered, is its setup "
         "switch ON?\n"}};
    for (const Row& row : rows) {
        SimulatorProcess module({"--type", "DVBSAT", "--switch-off-rounds", "1000"});
        QProcess cli;
        startCli(cli, folder.path(), update(module.path()) + row.extra);
        ASSERT_TRUE(cli.waitForReadyRead(5000));  // the switch check under way
        if (row.extra.isEmpty())
            cli.terminate();
        const CliRun run = finish(cli, 10);
        EXPECT_EQ(run.exitCode, row.exitCode) << qPrintable(run.out + run.err);
        const QString err = row.err.contains("%1") ? row.err.arg(module.path()) : row.err;
        EXPECT_TRUE(run.err.contains(err)) << qPrintable(run.err);
        EXPECT_TRUE(row.exitCode != 130 || !run.out.contains("Ready")) << qPrintable(run.out);
        EXPECT_LT(run.seconds, 5.0) << "not after the ten-second wait of the identification";
    }
}

// On a terminal of 40 or 80 columns (the terminal's own width, or COLUMNS) the progress is one
// line redrawn in place, never wider than the terminal: no bar before the first progress or
// after the transfer, no line of stacked bars. Ctrl+C says first where the image stood.
TEST_F(EndToEnd, ConsoleFitsTheTerminalAndSaysWhereAnInterruptionLeftTheImage) {
    writeFile(file("DVB-GEN-2.bin"), requestImage(2));
    struct Row {
        unsigned short ptyColumns;
        const char* columnsVariable;
        int width;
        bool interrupt;
    };
    for (const Row& row :
         {Row{40, "", 40, false}, Row{120, "80", 80, false}, Row{80, "", 80, true}}) {
        SCOPED_TRACE(row.width);
        SimulatorProcess module(row.interrupt ? QStringList{"--announce", "UP", "--baud", "115200"}
                                              : QStringList{"--announce", "UP"});
        bool interrupted = false;
        qputenv("COLUMNS", row.columnsVariable);
        const CliRun run =
            onTerminal(folder.path(), update(module.path()), row.ptyColumns,
                       [&](const QByteArray& shown, QProcess& cli) {
                           if (row.interrupt && !interrupted && shown.contains("\r[")) {
                               interrupted = true;
                               ::kill(pid_t(cli.processId()), SIGINT);
                           }
                       });
        qunsetenv("COLUMNS");
        const QByteArray shown = run.out.toUtf8();
        EXPECT_EQ(run.exitCode, row.interrupt ? 130 : 0) << shown.constData();
        const QList<QByteArray> lines = shown.split('\n');
        // Each language on its own line where both do not fit on one.
        EXPECT_TRUE(lines.value(0).startsWith("Checking: ")) << lines.value(0).constData();
        EXPECT_TRUE(row.width != 80 ||
                    lines.value(1) == "  Prüfe Modultyp für Update-Vorgang, bitte warten")
            << lines.value(1).constData();
        int barLines = 0, bar = -1;
        for (int at = 0; at < lines.size(); ++at) {
            if (lines[at].contains('\r')) {
                ++barLines;
                bar = at;
            }
            for (QByteArray drawn :
                 lines[at].contains('\r') ? lines[at].split('\r') : QList<QByteArray>())
                EXPECT_LE(QString::fromUtf8(drawn.replace("\033[K", "")).size(), row.width - 1)
                    << drawn.constData();
        }
        ASSERT_EQ(barLines, 1) << shown.constData();
        EXPECT_TRUE(lines[bar].contains(row.width == 40 ? "%  Sendi" : "%  Sending Sector "))
            << lines[bar].constData();
        // A sentence a line, none broken inside a word; the window's "press Update button" of
        // its ready state is not the console's end.
        // A path longer than a line stands on a line of its own.
        for (const QByteArray& line : lines)
            EXPECT_TRUE(line.contains('\r') || QString::fromUtf8(line).size() < row.width ||
                        !line.trimmed().contains(' '))
                << line.constData();
        EXPECT_FALSE(shown.contains("Ready"));
        if (row.interrupt) {
            EXPECT_TRUE(QString::fromUtf8(lines.value(bar + 1))
                            .contains(QRegularExpression("^Interrupted during sector 0 block "
                                                         "[0-3]\\.$")))
                << lines.value(bar + 1).constData();
            EXPECT_EQ(lines.value(bar + 2),
                      "The module may hold a partial image: run the update again.");
        } else {
            EXPECT_EQ(lines.value(bar + 1), "Update Successful / Update erfolgreich");
        }
    }
}

// A record that cannot be written (here a file stands where its folder should be) costs a
// warning, not the update. With --prefix-port every line names the port.
TEST_F(EndToEnd, AcknowledgedUpdateWritesTheImageWhateverBecomesOfTheRecord) {
    const QByteArray image =
        ackImage(2, [](int sector, int block) { return sector == 1 || block % 3 == 0; });
    writeFile(file("DVB-SAT-2.bin"), image);
    writeFile(file("state"), "x");
    SimulatorProcess module({"--type", "DVBSAT", "--flash", file("flash.bin")});
    const CliRun run = this->run(update(module.path()) << "--prefix-port");
    EXPECT_EQ(run.exitCode, 0) << qPrintable(run.out + run.err);
    EXPECT_TRUE(flash() == image.mid(64)) << "flash of " << flash().size() << " bytes";
    EXPECT_EQ(run.err.count("The update record cannot be written"), 1) << qPrintable(run.err);
    EXPECT_FALSE(run.out.contains("Log: "));
    for (const QString& line : (run.out + run.err).split('\n', Qt::SkipEmptyParts))
        EXPECT_TRUE(line.startsWith("[" + module.path() + "] ")) << qPrintable(line);
}

TEST_F(EndToEnd, HangUpEndsTheUpdateWithAnError) {
    writeFile(file("DVB-GEN-2.bin"), requestImage(2));
    SimulatorProcess module({"--announce", "UP", "--hang-up-at", "2"});
    const CliRun run = this->run(update(module.path()));
    EXPECT_EQ(run.exitCode, 1) << qPrintable(run.out + run.err);
    EXPECT_TRUE(run.err.contains("Update error / Update Fehler"));
    EXPECT_LT(run.seconds, 15.0);
}

// Bad usage is refused at once: the cause on one line, then where to read more. A port that
// cannot be opened is named with its cause once. Either way nothing is recorded and not a byte
// reaches the module that COM1, the port of an empty --port, leads to.
TEST_F(EndToEnd, BadCommandLinesAreRefusedBeforeAnyByte) {
    SimulatorProcess module({"--announce", "UP", "--silent-at", "0"});  // logs the round it hears
    writeFile(file("config/Tarvel_Update_Utility.ini"), "[Ports]\nCOM1=" + module.path().toUtf8());
    writeFile(file("a-file"), "x");
    ASSERT_EQ(::mkfifo(QFile::encodeName(file("a-fifo")).constData(), 0600), 0);
    const auto refused = [](const QString& cause) {
        return "tarvel-update: " + cause + "\nTry 'tarvel-update --help'.\n";
    };
    const auto unopenable = [](const QString& port, const QString& reason) {
        return port + " cannot be opened: " + reason + "\n";
    };
    const QString folderPath = folder.path(), noTty = file("no-such-tty");
    struct Row {
        QStringList arguments;
        QString err;
    };
    std::vector<Row> rows = {
        {{"update"}, refused("--port is missing.")},
        {{"update", "--port", ""}, refused("--port is empty.")},
        {{"comtest", "--port", "  "}, refused("--port is empty.")},
        {{"update", "--port", "COM1", "--port", "COM1"},
         refused("--port is given more than once.")},
        {{"history", "--outcome", "error", "--outcome", "success"},
         "tarvel-update history: --outcome is given more than once.\n"},
        {{"update", "--port", "COM1", "--folder", folderPath, "--folder", folderPath},
         refused("--folder is given more than once.")},
        {{"update", "--port", "COM1", "--timeout", "9", "--timeout", "9"},
         refused("--timeout is given more than once.")},
        {{"comtest", "--port", "COM1", "--transcript", "a", "--transcript", "b"},
         refused("--transcript is given more than once.")},
        {{"update", "--port", "COM1", "--folder", ""}, refused("--folder is empty.")},
        {{"comtest", "--port", "COM1", "--transcript", ""}, refused("--transcript is empty.")},
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
    rows.push_back({{"comtest", "--port", "COM1", "--switch-wait", "5"},
                    refused("--switch-wait is an option of update only.")});
    rows.push_back({{"update", "--port", "COM1", "--switch-wait", "0"},
                    refused("--switch-wait 0: give seconds above 0, at most 86400.")});
    for (const char* seconds : {"nan", "inf", "1e10", "3000000", "0"}) {
        rows.push_back({{"update", "--port", "COM1", "--timeout", seconds},
                        refused(QStringLiteral("--timeout %1: give seconds above 0, at most 86400.")
                                    .arg(seconds))});
    }
    for (const auto& row : rows) {
        const CliRun run = this->run(row.arguments, 10);
        EXPECT_EQ(run.exitCode, 2) << qPrintable(row.arguments.join(' '));
        // The engine's own words may come before an open failure's reason.
        EXPECT_TRUE(run.err.endsWith(row.err) && run.err.count('\n') == row.err.count('\n'))
            << qPrintable(run.err);
        EXPECT_LT(run.seconds, 5.0) << qPrintable(row.arguments.join(' '));
        EXPECT_EQ(module.messages().toStdString(), "") << qPrintable(row.arguments.join(' '));
    }
    EXPECT_FALSE(QFile::exists(file("state")));
}

TEST_F(EndToEnd, ComNameIsMappedThroughTheSettingsStoreAndAMissingImageSendsNothing) {
    SimulatorProcess module({"--announce", "TE", "--flash", file("flash.bin")});
    writeFile(file("config/Tarvel_Update_Utility.ini"), "[Ports]\nCOM3=" + module.path().toUtf8());
    // No image: the run ends right after the module has announced itself on Com3.
    const CliRun run = this->run(update("COM3"));
    EXPECT_EQ(run.exitCode, 2) << qPrintable(run.out + run.err);
    EXPECT_TRUE(run.err.contains("No firmware image DVB-GEN*.bin was found in " + folder.path()));
    EXPECT_TRUE(flash().isEmpty());
}

// The approved list fails closed: whatever stands at its name, if it is no readable regular
// file, no image reaches the module, the update and inspect say why, and nothing blocks on a pipe
// or a device. Every entry is real, made here.
TEST_F(EndToEnd, AnApprovedListThatIsNoReadableFileStopsEveryImage) {
    const QString images = file("images"), list = file("images/SHA256SUMS");
    writeFile(images + "/DVB-GEN-1.bin", requestImage(1));
    const QByteArray listName = QFile::encodeName(list), fifo = QFile::encodeName(file("fifo"));
    ASSERT_EQ(::mkfifo(fifo.constData(), 0600), 0);
    // Root reads any file on a disk, but not a write-only setting of the kernel.
    const bool root = ::geteuid() == 0;
    const QByteArray locked = root ? "/proc/sys/vm/compact_memory" : QFile::encodeName(file("x"));
    const struct {
        const char* what;
        std::function<bool()> make;  // SHA256SUMS in the image folder, or the setting
        QString configured;          // [Paths] ApprovedImages
        QString reason;
    } rows[] = {
        {"a dangling link (a share not mounted)",
         [&] { return ::symlink("/mnt/share/SHA256SUMS", listName.constData()) == 0; },
         {},
         "it is a dangling link to /mnt/share/SHA256SUMS"},
        {"a folder", [&] { return QDir().mkdir(list); }, {}, "it is a folder"},
        {"a FIFO", [&] { return ::mkfifo(listName.constData(), 0600) == 0; }, {}, "it is a FIFO"},
        {"a device",
         [&] { return ::symlink("/dev/zero", listName.constData()) == 0; },
         {},
         "it is a character device"},
        {"unreadable",
         [&] {
             return (root || (writeFile(locked, "x") && QFile::setPermissions(locked, {}))) &&
                    ::symlink(locked.constData(), listName.constData()) == 0;
         },
         {},
         "no permission to read it"},
        {"a device as the setting", [] { return true; }, "/dev/zero", "it is a character device"},
        {"a FIFO as the setting", [] { return true; }, file("fifo"), "it is a FIFO"},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ::unlink(listName.constData());
        QDir().rmdir(list);
        QFile::remove(file("flash.bin"));  // the previous module's, written as it ended
        ASSERT_TRUE(row.make());
        writeFile(
            file("config/Tarvel_Update_Utility.ini"),
            row.configured.isEmpty() ? "" : "[Paths]\nApprovedImages=" + row.configured.toUtf8());
        const QString named =
            QStringLiteral("the approved list %1 cannot be read: %2")
                .arg(row.configured.isEmpty() ? list : row.configured, row.reason);
        SimulatorProcess module({"--announce", "UP", "--flash", file("flash.bin")});
        const CliRun run = this->run(
            {"update", "--port", module.path(), "--folder", images, "--timeout", "30"}, 40);
        EXPECT_EQ(run.exitCode, 2);
        EXPECT_TRUE(run.err.contains("No approved firmware image DVB-GEN*.bin was found in " +
                                     images + " (" + named + ")"))
            << qPrintable(run.err);
        EXPECT_TRUE(flash().isEmpty());
        const CliRun inspect = this->run({"inspect", images + "/DVB-GEN-1.bin"}, 5);
        EXPECT_EQ(inspect.exitCode, 1);
        EXPECT_TRUE(inspect.out.contains(" no (" + named + ")\n")) << qPrintable(inspect.out);
    }
}

TEST_F(EndToEnd, CommunicationTestPassesAgainstAModuleInItsTestMode) {
    SimulatorProcess module({"--test-mode", "--test-mode-delay", "0.2"});
    const CliRun run = this->run({"comtest", "--port", module.path()}, 15);
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
