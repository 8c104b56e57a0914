// Reproducing an update from its record: tarvel-module-sim --replay plays the module of a logged
// update back to tarvel-update, which must then do what it did, byte for byte, or be told where
// it parted from it.
#include "sim/RecordedExchange.h"
#include "status/ProgramVersion.h"
#include "tests/support/Programs.h"
#include "tests/support/Wire.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <utility>

namespace tarvel::test {
namespace {

struct Update {
    int exitCode = -1;
    QString output;
    QByteArray log;  // the record the update left
    QString logPath;
    QByteArray hostBytes;  // everything it sent, from its --transcript
    QStringList statuses;  // its status lines, without their times
};

Update update(const QTemporaryDir& dir, const QString& port, const QString& folder,
              int timeoutSeconds) {
    static int runs = 0;
    const QString transcript = dir.filePath(QStringLiteral("wire-%1.txt").arg(++runs));
    QProcess cli;
    startCli(cli, dir.path(),
             {"update", "--port", port, "--folder", folder, "--timeout",
              QString::number(timeoutSeconds), "--transcript", transcript});
    cli.waitForFinished((timeoutSeconds + 10) * 1000);
    Update run;
    run.exitCode = cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    run.output = QString::fromLocal8Bit(cli.readAllStandardOutput() + cli.readAllStandardError());
    run.logPath = run.output.section("Log: ", 1).section('\n', 0, 0);
    run.log = readFile(run.logPath);
    QString error;
    if (const auto sent = sim::parseRecordedExchange(readFile(transcript), &error))
        run.hostBytes = sent->hostBytes;
    for (const QByteArray& line : run.log.split('\n')) {
        if (line.mid(10, 5) == " ST  ")
            run.statuses << QString::fromUtf8(line.mid(15));
    }
    return run;
}

TEST(Replay, AReplayedUpdateDoesWhatItDidAndAChangedOneIsToldWhereItParts) {
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QByteArray image = requestImage(1);
    QByteArray changed = image;
    changed[1000] = static_cast<char>(changed[1000] ^ 0xFF);
    for (const auto& [folder, bytes] : {std::pair{"same", image}, std::pair{"changed", changed}}) {
        ASSERT_TRUE(writeFile(dir.filePath(QString(folder) + "/DVB-GEN-1.bin"), bytes));
    }

    // The record: the module is silent for a second instead of its first request, so the update
    // times out and starts over.
    Update recorded;
    {
        SimulatorProcess module({"--announce", "UP", "--silent-at", "1", "--silent-for", "1"});
        recorded = update(dir, module.path(), dir.filePath("same"), 120);
    }
    ASSERT_EQ(recorded.exitCode, 0) << qPrintable(recorded.output);
    ASSERT_TRUE(recorded.statuses.join('\n').contains("Error | Update error. Automatical restart"))
        << qPrintable(recorded.statuses.join('\n'));

    // The same program with the same image: the same bytes, the same statuses, the same outcome.
    SimulatorProcess replay({"--replay", recorded.logPath, "--replay-speed", "0"});
    const Update again = update(dir, replay.path(), dir.filePath("same"), 120);
    EXPECT_EQ(again.exitCode, 0) << qPrintable(again.output);
    EXPECT_EQ(replay.exitCode(), 0) << qPrintable(replay.messages());
    EXPECT_EQ(again.hostBytes.size(), 65554);
    EXPECT_TRUE(again.hostBytes == recorded.hostBytes);
    EXPECT_EQ(again.statuses, recorded.statuses);
    EXPECT_TRUE(again.log.contains("\nOutcome: success after ")) << again.log.right(80).constData();

    // Another image of the same name parts from the record at its byte 1000, after the twelve X
    // and "OK" + 1 twice; the record has the image sixteen bytes a line.
    SimulatorProcess parted({"--replay", recorded.logPath, "--replay-speed", "0"});
    const Update differing = update(dir, parted.path(), dir.filePath("changed"), 9);
    EXPECT_EQ(differing.exitCode, 3) << qPrintable(differing.output);
    EXPECT_EQ(parted.exitCode(), 1);
    const QByteArray firstLine = " TX  " + image.left(16).toHex(' ').toUpper();
    const int lineNumber = recorded.log.left(recorded.log.indexOf(firstLine)).count('\n') + 1 + 62;
    const QString messages = parted.messages();
    EXPECT_TRUE(messages.contains(QRegularExpression(
        QStringLiteral("divergence at offset 1018 of the host's bytes, [0-9.]+ s after its first "
                       "byte \\(recorded: [0-9.]+ s\\), line %1 of %2: expected 58 5F 66 6D 74 7B "
                       "82 89, received A7 5F 66 6D 74 7B 82 89\n")
            .arg(lineNumber)
            .arg(QRegularExpression::escape(recorded.logPath)))))
        << qPrintable(messages);
}

// What cannot be replayed is refused at once, named with its kind, its size or its line: a pipe
// or a device is not opened, so the simulator never waits for a writer or reads without end.
TEST(Replay, ARecordingThatCannotBeReplayedIsRefusedAtOnceWithItsReason) {
    QTemporaryDir dir;
    const auto path = [&dir](const char* name) { return dir.filePath(name); };
    const QByteArray header = "Tarvel Update Utility V1.0.0, update\n";
    writeFile(path("garbage.log"), header + "Port: COM1\nwhatever this is\n");
    writeFile(path("newer.log"), "Tarvel Update Utility V99.0.0, update\n");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
    ASSERT_TRUE(QDir(dir.path()).mkdir("folder"));
    ASSERT_TRUE(QFile::link(path("gone.log"), path("link")));
    QFile large(path("large.log"));  // sparse: no disk used
    ASSERT_TRUE(large.open(QIODevice::WriteOnly) && large.resize((qint64(256) << 20) + 1));
    const std::pair<QString, QString> rows[] = {
        {path("fifo"), "it is a FIFO"},
        {"/dev/zero", "it is a character device"},
        {path("folder"), "it is a folder"},
        {path("link"), "it is a dangling link to " + path("gone.log")},
        {path("large.log"), "it holds 268435457 bytes, more than the 256 MiB a recording may have"},
        {path("garbage.log"), "line 3: not a line of an update log"},
        {path("newer.log"),
         "line 1: a log of version V99.0.0, which this simulator does not know "
         "(it reads those of V" TARVEL_VERSION " and before)"},
    };
    for (const auto& [file, reason] : rows) {
        QProcess replay;
        QElapsedTimer took;
        took.start();
        replay.start(QStringLiteral(TARVEL_MODULE_SIM), {"--replay", file});
        ASSERT_TRUE(replay.waitForFinished(20000)) << qPrintable(file);
        EXPECT_LT(took.elapsed(), 5000) << qPrintable(file);
        EXPECT_EQ(replay.exitCode(), 2);
        EXPECT_EQ(replay.readAllStandardOutput(), "");  // no line offered
        EXPECT_EQ(QString::fromUtf8(replay.readAllStandardError()),
                  file + (reason.startsWith("line") ? ", " : ": ") + reason + "\n");
    }
}

}  // namespace
}  // namespace tarvel::test
