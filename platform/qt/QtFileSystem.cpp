#include "platform/qt/QtFileSystem.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

namespace tarvel {

namespace {
class QtReadableFile : public ReadableFile {
  public:
    explicit QtReadableFile(const QString& path) : file_(path) {}
    bool open(QString* error) {
        if (file_.open(QIODevice::ReadOnly))
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
}  // namespace

QStringList QtFileSystem::filesMatching(const QString& folder, const QString& pattern) const {
    QDir dir(folder);
    dir.setNameFilters({pattern});
    dir.setFilter(QDir::Files | QDir::Hidden | QDir::System);
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
    const QFileInfo info(path);
    return info.exists() && !info.isDir();
}

std::unique_ptr<ReadableFile> QtFileSystem::openForReading(const QString& path,
                                                           QString* error) const {
    auto file = std::make_unique<QtReadableFile>(path);
    if (!file->open(error))
        return nullptr;
    return file;
}

QString QtFileSystem::join(const QString& folder, const QString& name) const {
    return QDir(folder).filePath(name);
}

}  // namespace tarvel
