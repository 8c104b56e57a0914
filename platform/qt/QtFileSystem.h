#pragma once

#include "platform/FileSystem.h"

namespace tarvel {

class QtFileSystem : public FileSystem {
  public:
    QStringList filesMatching(const QString& folder, const QString& pattern) const override;
    std::optional<qint64> lastModified(const QString& path) const override;
    QStringList unreadableNames(const QString& folder, const QString& pattern) const override;
    bool isFile(const QString& path) const override;
    std::unique_ptr<ReadableFile> openForReading(const QString& path,
                                                 QString* error) const override;
    bool copyFile(const QString& from, const QString& to, QString* error) override;
    bool sameFile(const QString& first, const QString& second) const override;
    bool isFileFree(const QString& path) const override;
    QString folderProblem(const QString& folder) const override;
    QString join(const QString& folder, const QString& name) const override;

    // What stands at the path whose name is these bytes, as the system spells it (on Windows
    // their UTF-8): "a regular file", "a folder", "a FIFO", "a character device", "a block
    // device", "a socket"; empty when nothing does.
    static QString entryKind(const QByteArray& name);
};

}  // namespace tarvel
