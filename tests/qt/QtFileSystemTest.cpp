// The real file system: image lookup, copying over an image, and the lock test.
#include "platform/qt/QtFileSystem.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

namespace tarvel::test {
namespace {

struct RealFiles : ::testing::Test {
    void write(const QString& name, const QByteArray& contents) {
        QFile file(dir.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(contents);
    }
    QByteArray read(const QString& name) {
        QFile file(dir.filePath(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    QTemporaryDir dir;
    QtFileSystem files;
};

TEST_F(RealFiles, MatchingIgnoresCaseAndFoldersAndSortsAlphabetically) {
    write("dvb-sat-b.BIN", "b");
    write("DVB-SAT-a.bin", "a");
    write("DVB-TER-a.bin", "t");
    QDir(dir.path()).mkdir("DVB-SAT-folder.bin");
    EXPECT_EQ(files.filesMatching(dir.path(), "DVB-SAT*.bin"),
              (QStringList{"DVB-SAT-a.bin", "dvb-sat-b.BIN"}));
    EXPECT_TRUE(files.isFile(dir.filePath("DVB-SAT-a.bin")));
    EXPECT_FALSE(files.isFile(dir.filePath("DVB-SAT-folder.bin")));
    EXPECT_FALSE(files.isFile(dir.filePath("missing.bin")));
}

TEST_F(RealFiles, JoiningToTheRootFolderGivesNoDoubledSeparator) {
    EXPECT_EQ(files.join("/", "DVB-SAT-1.bin"), "/DVB-SAT-1.bin");
    EXPECT_EQ(files.join("/opt/tarvel", "DVB-SAT-1.bin"), "/opt/tarvel/DVB-SAT-1.bin");
}

TEST_F(RealFiles, CopyReplacesAnExistingFileAndLeavesNoPartBehind) {
    write("source.bin", "new");
    write("target.bin", "old");
    QString error;
    ASSERT_TRUE(files.copyFile(dir.filePath("source.bin"), dir.filePath("target.bin"), &error))
        << qPrintable(error);
    EXPECT_EQ(read("target.bin"), "new");
    EXPECT_FALSE(QFile::exists(dir.filePath("target.bin.part")));
}

TEST_F(RealFiles, FailingCopyKeepsTheExistingFile) {
    write("target.bin", "old");
    QString error;
    EXPECT_FALSE(files.copyFile(dir.filePath("missing.bin"), dir.filePath("target.bin"), &error));
    EXPECT_FALSE(error.isEmpty());
    EXPECT_EQ(read("target.bin"), "old");
}

TEST_F(RealFiles, SameFileIsRecognisedUnderAnotherPath) {
    write("image.bin", "x");
    QDir(dir.path()).mkdir("sub");
    EXPECT_TRUE(files.sameFile(dir.filePath("image.bin"), dir.filePath("sub/../image.bin")));
    EXPECT_FALSE(files.sameFile(dir.filePath("image.bin"), dir.filePath("other.bin")));
}

TEST_F(RealFiles, LockedFileIsNotFree) {
    write("image.bin", "x");
    EXPECT_TRUE(files.isFileFree(dir.filePath("image.bin")));
    const int fd = ::open(QFile::encodeName(dir.filePath("image.bin")).constData(), O_RDONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_FALSE(files.isFileFree(dir.filePath("image.bin")));
    ::close(fd);
    EXPECT_TRUE(files.isFileFree(dir.filePath("image.bin")));
    EXPECT_FALSE(files.isFileFree(dir.filePath("missing.bin")));
}

}  // namespace
}  // namespace tarvel::test
