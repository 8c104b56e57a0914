// tarvel-update inspect through the real program, and its forecast against a paced update.
#include "platform/qt/QtFileSystem.h"
#include "tests/support/Programs.h"
#include "update/ImageInspection.h"

#include <QCryptographicHash>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::test {
namespace {

struct Inspect : ::testing::Test {
    void SetUp() override { ASSERT_TRUE(writeFile(image, requestImage(1))); }
    // tarvel-update's exit code; its lines of output, or of errors, go to lines.
    int run(const QStringList& arguments, QList<QByteArray>* lines = nullptr,
            QProcess::ProcessChannel channel = QProcess::StandardOutput,
            const QString& program = TARVEL_UPDATE) {
        QProcess cli;
        startCli(cli, folder.path(), arguments, program);
        cli.setReadChannel(channel);
        cli.waitForFinished(60000);
        if (lines)
            *lines = cli.readAll().split('\n');
        return cli.exitStatus() == QProcess::NormalExit ? cli.exitCode() : -1;
    }
    // The same through sh, whose script can give arguments that are no text.
    int runSh(const QString& script, QList<QByteArray>* lines) {
        return run({"-c", script, TARVEL_UPDATE}, lines, QProcess::StandardOutput, "/bin/sh");
    }
    QTemporaryDir folder;
    const QString image = folder.filePath("DVB-GEN-1.bin");
};

TEST_F(Inspect, JsonVerdictsAndExitCodes) {
    QList<QByteArray> lines;
    EXPECT_EQ(run({"inspect", "--json", image}, &lines), 0);
    const QByteArray sha256 = QCryptographicHash::hash(requestImage(1), QCryptographicHash::Sha256);
    EXPECT_EQ(QJsonDocument::fromJson(lines.value(0)).object(),
              // clang-format off
              (QJsonObject{{"schema", 1}, {"file", image},
                           {"file_bytes", QString(QFile::encodeName(image).toHex())},
                           {"size", 65536}, {"kind", "request"}, {"sectors", 1},
                           {"data_blocks", {}}, {"blank_blocks", {}}, {"bytes_to_module", 65551},
                           {"predicted_seconds", 12.89}, {"sha256", QString(sha256.toHex())},
                           {"usable", true}, {"reason", {}}, {"approved", {}},
                           {"approval_reason", {}}}));
    // clang-format on
    const struct {
        QStringList arguments;
        QByteArray cause;
    } bad[] = {
        {{"inspect"}, "Name at least one image file."},
        {{"inspect", "--frob", image}, "Unknown option 'frob'."},
        {{"inspect", "--kind", "zip", image}, "--kind takes request or ack, not \"zip\"."},
        {{"inspect", "--kind", "ack", "--kind", "ack", image}, "--kind is given more than once."},
    };
    for (const auto& row : bad) {
        EXPECT_EQ(run(row.arguments, &lines, QProcess::StandardError), 2);
        EXPECT_EQ(lines, (QList<QByteArray>{"tarvel-update: " + row.cause,
                                            "Try 'tarvel-update inspect --help'.", ""}));
    }
}

// Each file is read by the bytes of its name, which is shown on one line with control
// characters and bytes that are no text as \xNN; a file that cannot be read gets its own reason.
TEST_F(Inspect, AnyNameIsReadAndEachUnreadableFileHasItsReason) {
    const QByteArray dir = QFile::encodeName(folder.path()) + '/';
    for (const char* name : {"bad\xff\xfe.bin", "DVB-GEN\n.bin"})
        ASSERT_EQ(::link(QFile::encodeName(image).constData(), dir + name), 0);
    ASSERT_EQ(::mkfifo(dir + "a-fifo", 0600), 0);
    ASSERT_EQ(::symlink("loop", dir + "loop"), 0);
    ASSERT_TRUE(QDir(folder.path()).mkdir("a-folder"));
    // Root may read any file on a disk, but not a write-only setting of the kernel.
    const QByteArray locked = ::geteuid() == 0 ? "/proc/sys/vm/compact_memory" : dir + "locked";
    if (::geteuid() != 0)
        ::close(::open(locked.constData(), O_CREAT | O_WRONLY, 0));
    const struct {
        QByteArray name;
        QString shown;
        QJsonValue reason;
    } rows[] = {
        {"bad\xff\xfe.bin", "bad\\xff\\xfe.bin", {}},
        {"DVB-GEN\n.bin", "DVB-GEN\\x0a.bin", {}},
        {"none", "none", "it does not exist"},
        {"a-folder", "a-folder", "it is a folder"},
        {"a-fifo", "a-fifo", "it is a FIFO"},
        {"/dev/null", "/dev/null", "it is a character device"},
        {locked, locked, "no permission to read it"},
        {"loop", "loop", "it cannot be read: Too many levels of symbolic links"},
    };
    QString script;  // makes each name the next argument, printf writing its bytes
    for (const auto& row : rows) {
        script += "set -- \"$@\" \"$(printf '";
        for (const char byte : row.name)
            script += QString::asprintf("\\%03o", static_cast<unsigned char>(byte));
        script += "')\"\n";
    }
    script += "exec \"$0\" inspect --kind request";
    QList<QByteArray> lines;
    EXPECT_EQ(runSh(script + " --json \"$@\"", &lines), 1);
    for (size_t i = 0; i < std::size(rows); ++i) {
        const QJsonObject object = QJsonDocument::fromJson(lines.value(i)).object();
        EXPECT_EQ(object["file"], rows[i].shown);
        EXPECT_EQ(object["file_bytes"], QString(rows[i].name.toHex()));
        EXPECT_EQ(object["reason"], rows[i].reason);
    }
    EXPECT_EQ(runSh(script + " \"$@\"", &lines), 1);
    EXPECT_TRUE(lines.contains("DVB-GEN\\x0a.bin") && lines.contains("bad\\xff\\xfe.bin"));
    ::unlink(dir + "bad\xff\xfe.bin");  // a name QTemporaryDir cannot spell to remove
}

TEST_F(Inspect, PacedUpdateTakesThePredictedTime) {
    const double predicted =
        inspectImage(QtFileSystem(), image, kindForName("DVB-GEN-1.bin")).forecast->seconds;
    SimulatorProcess module({"--announce", "UP", "--baud", "115200", "--reply-delay", "0"});
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(run({"update", "--port", module.path(), "--folder", folder.path()}), 0);
    EXPECT_NEAR(took.nsecsElapsed() / 1e9, predicted, 0.05 * predicted);
}

}  // namespace
}  // namespace tarvel::test
