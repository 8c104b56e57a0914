#pragma once

#include "platform/FileSystem.h"

namespace tarvel {

class QtFileSystem : public FileSystem {
  public:
    QStringList filesMatching(const QString& folder, const QString& pattern) const override;
    QStringList entriesMatching(const QString& folder, const QString& pattern) const override;
    std::optional<qint64> lastModified(const QString& path) const override;
    QStringList unreadableNames(const QString& folder, const QString& pattern) const override;
    bool isFile(const QString& path) const override;
    bool hasEntry(const QString& path) const override;
    QString whyUnreadable(const QString& path) const override;
    std::unique_ptr<ReadableFile> openForReading(const QString& path,
                                                 QString* error) const override;
    bool copyFile(const QString& from, const QString& to, QString* error) override;
    bool sameFile(const QString& first, const QString& second) const override;
    bool isFileFree(const QString& path) const override;
    QString folderProblem(const QString& folder) const override;
    bool writableByOthers(const QString& path) const override;
    QString join(const QString& folder, const QString& name) const override;

    // A file named by the bytes of its name as the system spells it (on Windows their UTF-8), for
    // names given on a command line: on Unix they may hold any byte but '/' and NUL.

    // The name as messages show it: the text it decodes to or, when some of its bytes are no
    // text, every byte above 0x7F written as \xNN (as unreadableNames spells them).
    static QString nameText(const QByteArray& name);
    // What stands there: "a regular file", "a folder", "a FIFO", "a character device", "a block
    // device", "a socket"; empty when nothing does.
    static QString entryKind(const QByteArray& name);
    // What the path leads to, the same for every name of one device or file (a link, /./, a
    // second device node): the device's number for a device, the file's otherwise; the path
    // itself when nothing stands there.
    static QString identity(const QString& path);
    // Why that file cannot be read, its cause named once: "it does not exist", "it is a dangling
    // link to TARGET", "it is a folder", "it is a FIFO" (and the other entries that are no
    // regular file), "no permission to read it", "it cannot be read: " and the system's reason.
    // Empty when it can.
    static QString readProblem(const QByteArray& name);
    static std::unique_ptr<ReadableFile> openNamed(const QByteArray& name, QString* error);
};

}  // namespace tarvel
