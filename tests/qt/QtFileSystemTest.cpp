// The real file system: which files are images, copying over an image, and the lock test.
#include "platform/qt/QtFileSystem.h"
#include "tests/support/Wire.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tarvel::test {
namespace {

struct RealFiles : ::testing::Test {
    QString path(const char* name) const { return dir.filePath(name); }
    void write(const char* name, const QByteArray& contents) { writeFile(path(name), contents); }
    QTemporaryDir dir;
    QtFileSystem files;
};

// Only regular files, or links to them, are images: a pipe named like one would hang the update
// that opens it. A name the system cannot spell is named with its unreadable bytes escaped.
TEST_F(RealFiles, OnlyRegularFilesMatchAndUnreadableNamesAreReported) {
    write("dvb-sat-b.BIN", "b");
    write("DVB-SAT-a.bin", "a");
    write("DVB-TER-a.bin", "t");
    QDir(dir.path()).mkdir("DVB-SAT-folder.bin");
    ASSERT_EQ(::mkfifo(QFile::encodeName(path("DVB-SAT-pipe.bin")).constData(), 0600), 0);
    QFile::link(path("DVB-SAT-pipe.bin"), path("DVB-SAT-link-to-pipe.bin"));
    QFile::link(path("DVB-SAT-a.bin"), path("DVB-SAT-link.bin"));
    const QByteArray undecodable = QFile::encodeName(dir.path()) + "/DVB-SAT-\xe9.bin";
    ::close(::open(undecodable.constData(), O_CREAT | O_WRONLY, 0600));
    EXPECT_EQ(files.filesMatching(dir.path(), "DVB-SAT*.bin"),
              (QStringList{"DVB-SAT-a.bin", "dvb-sat-b.BIN", "DVB-SAT-link.bin"}));
    EXPECT_EQ(files.unreadableNames(dir.path(), "DVB-SAT*.bin"), QStringList{"DVB-SAT-\\xe9.bin"});
    EXPECT_TRUE(files.unreadableNames(dir.path(), "DVB-TER*.bin").isEmpty());
    for (const char* name :
         {"DVB-SAT-folder.bin", "DVB-SAT-pipe.bin", "DVB-SAT-link-to-pipe.bin", "missing.bin"})
        EXPECT_FALSE(files.isFile(path(name))) << name;
    EXPECT_TRUE(files.isFile(path("DVB-SAT-link.bin")));
    QElapsedTimer opening;
    opening.start();
    QString error;
    EXPECT_EQ(files.openForReading(path("DVB-SAT-link-to-pipe.bin"), &error), nullptr);
    EXPECT_EQ(error, "not a regular file");
    EXPECT_LT(opening.elapsed(), 10000) << "a FIFO is never opened, so it cannot block";
    EXPECT_EQ(files.folderProblem(dir.path()), "");
    EXPECT_EQ(files.folderProblem(path("DVB-SAT-a.bin")), "is not a folder");
    EXPECT_EQ(files.folderProblem(path("none")), "does not exist");
}

TEST_F(RealFiles, CopyReplacesOrFailsKeepingTheOldAndSameFileSeesThroughOtherSpellings) {
    write("source.bin", "new");
    write("target.bin", "old");
    QString error;
    EXPECT_FALSE(files.copyFile(path("missing.bin"), path("target.bin"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(readFile(path("target.bin")), "old");
    ASSERT_TRUE(files.copyFile(path("source.bin"), path("target.bin"), &error))
        << qPrintable(error);
    EXPECT_EQ(readFile(path("target.bin")), "new");
    EXPECT_FALSE(QFile::exists(path("target.bin.part")));
    QDir(dir.path()).mkdir("sub");
    EXPECT_TRUE(files.sameFile(path("source.bin"), path("sub/../source.bin")));
    EXPECT_FALSE(files.sameFile(path("source.bin"), path("target.bin")));
    EXPECT_EQ(files.join("/", "DVB-SAT-1.bin"), "/DVB-SAT-1.bin");  // no doubled separator
}

TEST_F(RealFiles, LockedFileIsNotFree) {
    write("image.bin", "x");
    EXPECT_TRUE(files.isFileFree(path("image.bin")));
    const int fd = ::open(QFile::encodeName(path("image.bin")).constData(), O_RDONLY);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(files.isFileFree(path("image.bin")));
    ::close(fd);
    EXPECT_TRUE(files.isFileFree(path("image.bin")));
    EXPECT_FALSE(files.isFileFree(path("missing.bin")));
}

}  // namespace
}  // namespace tarvel::test
