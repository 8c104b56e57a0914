#include "platform/qt/QtFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <cerrno>
#include <cstring>
#include <filesystem>

#ifdef Q_OS_WIN
#include <windows.h>
#else
#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tarvel {

namespace {
class QtReadableFile : public ReadableFile {
  public:
    explicit QtReadableFile(const QString& path) : file_(path) {}
    // descriptor: open for reading; the file closes it.
    bool open(QString* error, int descriptor = -1) {
        if (descriptor >= 0 ? file_.open(descriptor, QIODevice::ReadOnly, QFile::AutoCloseHandle)
                            : file_.open(QIODevice::ReadOnly))
            return true;
        if (error)
            *error = file_.errorString();
        return false;
    }
    qint64 size() const override { return file_.size(); }
    QByteArray read(qint64 maxSize) override { return file_.read(maxSize); }
    QByteArray readAt(qint64 offset, qint64 size) override {
        if (!file_.seek(offset))
            return {};
        return file_.read(size);
    }

  private:
    QFile file_;
};

#ifndef Q_OS_WIN
QString kindOfMode(mode_t mode) {
    if (S_ISREG(mode))
        return QStringLiteral("a regular file");
    if (S_ISDIR(mode))
        return QStringLiteral("a folder");
    if (S_ISFIFO(mode))
        return QStringLiteral("a FIFO");
    if (S_ISCHR(mode))
        return QStringLiteral("a character device");
    if (S_ISBLK(mode))
        return QStringLiteral("a block device");
    if (S_ISSOCK(mode))
        return QStringLiteral("a socket");
    return QStringLiteral("no file");
}

QString problemOfError(int error) {
    if (error == ENOENT || error == ENOTDIR)
        return QStringLiteral("it does not exist");
    if (error == EACCES || error == EPERM)
        return QStringLiteral("no permission to read it");
    return QStringLiteral("it cannot be read: ") + QString::fromLocal8Bit(std::strerror(error));
}

// The file of an open descriptor when it is a regular one; the descriptor is closed otherwise.
std::unique_ptr<ReadableFile> openedRegularFile(int descriptor, const QString& path,
                                                QString* error) {
    struct stat info {};
    if (::fstat(descriptor, &info) != 0 || !S_ISREG(info.st_mode)) {
        if (error)
            *error = QStringLiteral("not a regular file");
        ::close(descriptor);
        return nullptr;
    }
    auto file = std::make_unique<QtReadableFile>(path);
    if (!file->open(error, descriptor))
        return nullptr;
    return file;
}

// The system's spelling of a path.
QByteArray nameBytes(const QString& path) {
    return QFile::encodeName(path);
}
#else
QByteArray nameBytes(const QString& path) {
    return path.toUtf8();
}
#endif
}  // namespace

QStringList QtFileSystem::filesMatching(const QString& folder, const QString& pattern) const {
    QDir dir(folder);
    dir.setNameFilters({pattern});
    // Without QDir::System: a pipe named like an image would block the update that opens it.
    dir.setFilter(QDir::Files | QDir::Hidden);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    QStringList names = dir.entryList();
    // QDir takes a link for a file whatever it points to.
    names.removeIf([&dir](const QString& name) { return !QFileInfo(dir.filePath(name)).isFile(); });
    return names;
}

QStringList QtFileSystem::entriesMatching(const QString& folder, const QString& pattern) const {
    QDir dir(folder);
    dir.setNameFilters({pattern});
    dir.setFilter(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot);
    dir.setSorting(QDir::Name | QDir::IgnoreCase);
    return dir.entryList();
}

std::optional<qint64> QtFileSystem::lastModified(const QString& path) const {
    const QFileInfo info(path);
    if (!info.exists())
        return std::nullopt;
    return info.lastModified().toSecsSinceEpoch();
}

bool QtFileSystem::isFile(const QString& path) const {
    return QFileInfo(path).isFile();
}

bool QtFileSystem::hasEntry(const QString& path) const {
#ifdef Q_OS_WIN
    return QFileInfo(path).exists() || QFileInfo(path).isSymLink();
#else
    struct stat info {};
    return ::lstat(nameBytes(path).constData(), &info) == 0;
#endif
}

QString QtFileSystem::whyUnreadable(const QString& path) const {
    return readProblem(nameBytes(path));
}

QStringList QtFileSystem::unreadableNames(const QString& folder, const QString& pattern) const {
    QStringList names;
#ifndef Q_OS_WIN  // Windows spells every name in UTF-16
    DIR* dir = ::opendir(QFile::encodeName(folder).constData());
    if (!dir)
        return names;
    const QRegularExpression matcher(QRegularExpression::wildcardToRegularExpression(pattern),
                                     QRegularExpression::CaseInsensitiveOption);
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray raw(entry->d_name);
        if (QFile::encodeName(QFile::decodeName(raw)) == raw)
            continue;
        const QString escaped = nameText(raw);
        if (matcher.match(escaped).hasMatch())
            names << escaped;
    }
    ::closedir(dir);
#else
    Q_UNUSED(folder);
    Q_UNUSED(pattern);
#endif
    return names;
}

std::unique_ptr<ReadableFile> QtFileSystem::openForReading(const QString& path,
                                                           QString* error) const {
#ifdef Q_OS_WIN
    // Opening a pipe would wait for a writer that never comes.
    if (QFileInfo(path).exists() && !QFileInfo(path).isFile()) {
        if (error)
            *error = QStringLiteral("not a regular file");
        return nullptr;
    }
    auto file = std::make_unique<QtReadableFile>(path);
    if (!file->open(error))
        return nullptr;
    return file;
#else
    // Without waiting for a writer, should a pipe stand there (or come there since a check).
    const int descriptor =
        ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        if (error)
            *error = QString::fromLocal8Bit(std::strerror(errno));
        return nullptr;
    }
    return openedRegularFile(descriptor, path, error);
#endif
}

QString QtFileSystem::nameText(const QByteArray& name) {
#ifdef Q_OS_WIN
    return QString::fromUtf8(name);
#else
    const QString text = QFile::decodeName(name);
    if (QFile::encodeName(text) == name)
        return text;
    QString escaped;
    for (const char byte : name) {
        const auto code = static_cast<unsigned char>(byte);
        escaped += code < 0x80 ? QString(QLatin1Char(byte))
                               : QStringLiteral("\\x%1").arg(code, 2, 16, QLatin1Char('0'));
    }
    return escaped;
#endif
}

QString QtFileSystem::identity(const QString& path) {
#ifndef Q_OS_WIN
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) == 0) {
        if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
            return QStringLiteral("device %1").arg(quint64(info.st_rdev));
        return QStringLiteral("file %1:%2").arg(quint64(info.st_dev)).arg(quint64(info.st_ino));
    }
#endif
    return path;
}

QString QtFileSystem::entryKind(const QByteArray& name) {
#ifdef Q_OS_WIN
    const QFileInfo info(QString::fromUtf8(name));
    if (!info.exists())
        return QString();
    return info.isDir()    ? QStringLiteral("a folder")
           : info.isFile() ? QStringLiteral("a regular file")
                           : QStringLiteral("a device");
#else
    struct stat info {};
    return ::stat(name.constData(), &info) == 0 ? kindOfMode(info.st_mode) : QString();
#endif
}

QString QtFileSystem::readProblem(const QByteArray& name) {
#ifdef Q_OS_WIN
    const QString kind = entryKind(name);
    if (kind.isEmpty())
        return QStringLiteral("it does not exist");
    if (kind != QLatin1String("a regular file"))
        return QStringLiteral("it is ") + kind;
    QString error;
    return openNamed(name, &error) ? QString() : QStringLiteral("it cannot be read: ") + error;
#else
    struct stat info {};
    if (::stat(name.constData(), &info) != 0) {
        const int error = errno;
        if (error == ENOENT && ::lstat(name.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
            return QStringLiteral("it is a dangling link to ") +
                   QFile::symLinkTarget(nameText(name));
        }
        return problemOfError(error);
    }
    if (!S_ISREG(info.st_mode))
        return QStringLiteral("it is ") + kindOfMode(info.st_mode);
    const int descriptor = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0)
        return problemOfError(errno);
    ::close(descriptor);
    return QString();
#endif
}

std::unique_ptr<ReadableFile> QtFileSystem::openNamed(const QByteArray& name, QString* error) {
#ifdef Q_OS_WIN
    return QtFileSystem().openForReading(QString::fromUtf8(name), error);
#else
    // Without waiting for a writer, should a pipe stand there; it is refused below.
    const int descriptor = ::open(name.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (descriptor < 0) {
        if (error)
            *error = problemOfError(errno);
        return nullptr;
    }
    return openedRegularFile(descriptor, nameText(name), error);
#endif
}

bool QtFileSystem::copyFile(const QString& from, const QString& to, QString* error) {
    // Copy beside the destination first, then put it in place in one step: a failing copy
    // (disk full, no permission) leaves an existing file as it was.
    const QString partial = to + QStringLiteral(".part");
    QFile::remove(partial);
    QFile source(from);
    if (!source.copy(partial)) {
        if (error)
            *error = source.errorString();
        QFile::remove(partial);
        return false;
    }
    std::error_code failure;
    std::filesystem::rename(std::filesystem::path(partial.toStdWString()),
                            std::filesystem::path(to.toStdWString()), failure);
    if (failure) {
        if (error)
            *error = QString::fromStdString(failure.message());
        QFile::remove(partial);
        return false;
    }
    return true;
}

bool QtFileSystem::sameFile(const QString& first, const QString& second) const {
    std::error_code failure;
    return std::filesystem::equivalent(std::filesystem::path(first.toStdWString()),
                                       std::filesystem::path(second.toStdWString()), failure);
}

bool QtFileSystem::isFileFree(const QString& path) const {
#ifdef Q_OS_WIN
    const HANDLE handle = CreateFileW(reinterpret_cast<LPCWSTR>(path.utf16()), GENERIC_READ, 0,
                                      nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return false;
    CloseHandle(handle);
    return true;
#else
    const int fd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    const bool locked = ::flock(fd, LOCK_EX | LOCK_NB) == 0;
    ::close(fd);
    return locked;
#endif
}

QString QtFileSystem::folderProblem(const QString& folder) const {
    const QFileInfo info(folder);
    if (!info.exists())
        return QStringLiteral("does not exist");
    if (!info.isDir())
        return QStringLiteral("is not a folder");
    if (!info.isReadable() || !info.isExecutable())
        return QStringLiteral("cannot be read");
    return QString();
}

bool QtFileSystem::writableByOthers(const QString& path) const {
#ifdef Q_OS_WIN
    Q_UNUSED(path);
    return false;
#else
    const QFileInfo info(path);
    return info.exists() && info.permission(QFileDevice::WriteOther);
#endif
}

QString QtFileSystem::join(const QString& folder, const QString& name) const {
    return QDir(folder).filePath(name);
}

}  // namespace tarvel
