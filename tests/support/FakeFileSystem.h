#pragma once

#include "platform/FileChooser.h"
#include "platform/FileSystem.h"

#include <QMap>
#include <QSet>
#include <QStringList>

#include <functional>

namespace tarvel::test {

// Files in memory: path → contents and modification time. Folders are paths of their own.
class FakeFileSystem : public FileSystem {
  public:
    struct File {
        QByteArray contents;
        qint64 modified = 0;
        bool folder = false;
    };

    void add(const QString& path, const QByteArray& contents, qint64 modified = 1000) {
        files[path] = {contents, modified, false};
    }
    void addFolder(const QString& path) { files[path] = {{}, 0, true}; }

    QStringList filesMatching(const QString& folder, const QString& pattern) const override;
    QStringList unreadableNames(const QString&, const QString&) const override {
        return unreadable;
    }
    std::optional<qint64> lastModified(const QString& path) const override;
    bool isFile(const QString& path) const override;
    bool hasEntry(const QString& path) const override { return files.contains(path); }
    QString whyUnreadable(const QString& path) const override {
        return !files.contains(path) ? QStringLiteral("it does not exist")
               : files[path].folder  ? QStringLiteral("it is a folder")
                                     : QString();
    }
    std::unique_ptr<ReadableFile> openForReading(const QString& path,
                                                 QString* error) const override;
    bool copyFile(const QString& from, const QString& to, QString* error) override {
        if (!isFile(from) || readOnlyFolders.contains(to.left(to.lastIndexOf('/')))) {
            if (error)
                *error = QStringLiteral("Permission denied");
            return false;
        }
        files[to] = files[from];
        return true;
    }
    bool sameFile(const QString& first, const QString& second) const override {
        return first.compare(second, caseInsensitive ? Qt::CaseInsensitive : Qt::CaseSensitive) ==
                   0 &&
               files.contains(first);
    }
    bool isFileFree(const QString& path) const override { return !lockedPaths.contains(path); }
    QString folderProblem(const QString& folder) const override {
        return files.value(folder).folder ? QString() : QStringLiteral("does not exist");
    }
    bool writableByOthers(const QString& path) const override {
        return writableByAnyone.contains(path);
    }
    QString join(const QString& folder, const QString& name) const override {
        return folder + '/' + name;
    }

    QMap<QString, File> files;
    QSet<QString> lockedPaths;
    QSet<QString> readOnlyFolders;
    QSet<QString> writableByAnyone;
    QStringList unreadable;
    bool caseInsensitive = false;
};

// The selection window: answers with a prepared choice and remembers what it listed.
class FakeFileChooser : public FileChooser {
  public:
    std::optional<int> choose(const QList<FileChoice>& offered) override {
        choices = offered;
        listed.clear();
        for (const FileChoice& choice : offered)
            listed << choice.name;
        ++shown;
        return answer;
    }
    std::optional<int> answer;
    QList<FileChoice> choices;
    QStringList listed;
    int shown = 0;
};

}  // namespace tarvel::test
