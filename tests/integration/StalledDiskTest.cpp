// A state folder whose disk stops answering in the middle of an update (a network share, a
// stalled card), made with the stalled_disk library: the flash goes on at the line's speed, the
// outcome comes at once, and the process ends once the disk is back, its record and its
// transcript whole.
#include "tests/support/Programs.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

TEST(StalledDisk, TheFlashAndItsOutcomeDoNotWaitAndTheRecordIsWrittenOnceTheDiskIsBack) {
    QTemporaryDir home;
    const QString images = home.filePath("images");
    const QString stall = home.filePath("stall");
    const QString transcript = home.filePath("state/transcript.txt");
    ASSERT_TRUE(QDir().mkpath(images) && QDir().mkpath(home.filePath("state")));
    ASSERT_TRUE(writeFile(images + "/DVB-SAT-2.bin",
                          ackImage(2, [](int, int block) { return block < 40; })));
    SimulatorProcess module({"--type", "DVBSAT", "--baud", "115200"});

    QProcess cli;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("LD_PRELOAD", TARVEL_STALLED_DISK);
    // A sanitizer's runtime would refuse a library loaded before it.
    environment.insert("ASAN_OPTIONS", "verify_asan_link_order=0");
    environment.insert("TARVEL_STALL_FOLDER", home.filePath("state"));
    environment.insert("TARVEL_STALL_FILE", stall);
    environment.insert("XDG_CONFIG_HOME", home.filePath("config"));
    environment.insert("XDG_STATE_HOME", home.filePath("state"));
    environment.insert("LC_ALL", "C.UTF-8");
    cli.setProcessEnvironment(environment);
    cli.start(TARVEL_UPDATE, {"update", "--json", "--port", module.path(), "--folder", images,
                              "--timeout", "100", "--transcript", transcript});

    // The disk stops with the first progress, after the log and the row were made.
    QElapsedTimer clock;
    clock.start();
    double startedAt = -1;
    std::optional<QJsonObject> outcome;
    double outcomeAt = 0;
    QByteArray pending;
    while (!outcome && cli.waitForReadyRead(60000)) {
        pending += cli.readAllStandardOutput();
        for (qsizetype end; (end = pending.indexOf('\n')) >= 0;) {
            const QJsonObject line = QJsonDocument::fromJson(pending.left(end)).object();
            pending.remove(0, end + 1);
            const QString event = line.value("event").toString();
            if (event == "start")
                startedAt = clock.elapsed() / 1000.0;
            if (event == "progress" && !QFile::exists(stall)) {
                ASSERT_TRUE(writeFile(stall, "stalled"));
            }
            if (event == "outcome") {
                outcome = line;
                outcomeAt = clock.elapsed() / 1000.0;
            }
        }
    }
    ASSERT_TRUE(outcome) << qPrintable(cli.readAllStandardError());
    ASSERT_TRUE(QFile::exists(stall));
    EXPECT_EQ(outcome->value("word"), "success");
    EXPECT_EQ(outcome->value("exit_code"), 0);
    // The outcome came while the disk still held every write: the line did not wait for it
    // (how close to the line rate it came is the bench's to judge, not a loaded machine's).
    // Told at once at the update's end (its t, from the start line's arrival): within a second,
    // and half a second more for a loaded machine's scheduling.
    EXPECT_LT(outcomeAt - startedAt - outcome->value("t").toDouble(), 1.5);

    // The record waits for the disk: the process too, then it ends with the record whole.
    EXPECT_FALSE(cli.waitForFinished(2000));
    ASSERT_TRUE(QFile::remove(stall));
    ASSERT_TRUE(cli.waitForFinished(30000));
    EXPECT_EQ(cli.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(cli.exitCode(), 0);
    EXPECT_EQ(cli.readAllStandardError(), "");

    const QByteArray log = readFile(outcome->value("log").toString());
    EXPECT_TRUE(log.contains("\nOutcome: success after ")) << log.right(300).constData();
    QProcess history;
    startCli(history, home.path(), {"history", "--local", "--json"});
    const CliRun listed = finish(history);
    const QJsonObject row = QJsonDocument::fromJson(listed.out.toUtf8()).array().at(0).toObject();
    EXPECT_EQ(row.value("outcome"), "success") << qPrintable(listed.out);
    EXPECT_EQ(row.value("bytes_sent"), outcome->value("bytes_sent"));
    EXPECT_EQ(row.value("log"), outcome->value("log"));
    // Every byte the host sent is in the transcript, which the line did not wait for either.
    int sent = 0;
    for (const QByteArray& line : readFile(transcript).split('\n')) {
        if (line.mid(10, 4) == " TX ")
            sent += line.mid(15, 48).simplified().split(' ').size();
    }
    EXPECT_EQ(sent, outcome->value("bytes_sent").toInt());
}

}  // namespace
}  // namespace tarvel::test
