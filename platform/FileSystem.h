#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>

namespace tarvel {

// A file opened for binary reading: an image during its transfer.
class ReadableFile {
  public:
    virtual ~ReadableFile() = default;
    virtual qint64 size() const = 0;
    // Up to maxSize bytes from where the previous read stopped; fewer at the end or on an error.
    virtual QByteArray read(qint64 maxSize) = 0;
    // Up to size bytes from offset.
    virtual QByteArray readAt(qint64 offset, qint64 size) = 0;
};

// The files the program works with: firmware images in its folder.
class FileSystem {
  public:
    virtual ~FileSystem() = default;

    // Names of the regular files (or links to them) in folder that match the wildcard pattern,
    // letter case not significant, in alphabetical order. Folders, pipes, sockets and devices are
    // never among them.
    virtual QStringList filesMatching(const QString& folder, const QString& pattern) const = 0;
    // Every entry in folder that matches the pattern, whatever it is (a pipe, a dangling link, a
    // folder too), in alphabetical order: for a folder in which anything of a name must be
    // looked at rather than passed over. Only what filesMatching lists, unless told otherwise.
    virtual QStringList entriesMatching(const QString& folder, const QString& pattern) const {
        return filesMatching(folder, pattern);
    }
    // Entries in folder matching the pattern whose names this system cannot spell, with the
    // bytes it cannot read written as \xNN: files no path can reach.
    virtual QStringList unreadableNames(const QString& folder, const QString& pattern) const = 0;
    // Last-modified time in whole seconds; nothing when the path cannot be read.
    virtual std::optional<qint64> lastModified(const QString& path) const = 0;
    // True for an existing regular file, or a link to one.
    virtual bool isFile(const QString& path) const = 0;
    // True when anything stands at path: a file, a folder, a pipe, a device, or a link, even a
    // link to nothing.
    virtual bool hasEntry(const QString& path) const = 0;
    // Why path cannot be read as a regular file, its cause named once: "it does not exist", "it
    // is a dangling link to TARGET", "it is a folder", "it is a FIFO" (and the other entries that
    // are no regular file), "no permission to read it", "it cannot be read: " and the system's
    // reason. Empty when it can. Never waits: a pipe or a device is not opened to find out.
    virtual QString whyUnreadable(const QString& path) const = 0;
    virtual std::unique_ptr<ReadableFile> openForReading(const QString& path,
                                                         QString* error) const = 0;
    // Copies from to to, replacing a file there; an existing file is kept when the copy fails.
    virtual bool copyFile(const QString& from, const QString& to, QString* error) = 0;
    // True when both paths name the same file (for example under another letter case).
    virtual bool sameFile(const QString& first, const QString& second) const = 0;
    // True when the file can be opened for reading under a lock that denies every other reader
    // and writer.
    virtual bool isFileFree(const QString& path) const = 0;
    // Why folder cannot be searched for images ("does not exist", "is not a folder", "cannot be
    // read"); empty when it can.
    virtual QString folderProblem(const QString& folder) const = 0;
    // True when anyone, not only its owner and group, may write the folder or file at path (add
    // a file to a folder). Windows keeps who may write in access lists, which are not read here:
    // false there.
    virtual bool writableByOthers(const QString& path) const = 0;
    // folder joined with name.
    virtual QString join(const QString& folder, const QString& name) const = 0;
};

}  // namespace tarvel
