#include "tests/support/FakeFileSystem.h"

#include "update/ImageSnapshot.h"

#include <QRegularExpression>

#include <algorithm>

namespace tarvel::test {

QStringList FakeFileSystem::filesMatching(const QString& folder, const QString& pattern) const {
    const QRegularExpression matcher(QRegularExpression::wildcardToRegularExpression(pattern),
                                     QRegularExpression::CaseInsensitiveOption);
    QStringList names;
    for (auto it = files.cbegin(); it != files.cend(); ++it) {
        const QString& path = it.key();
        const int slash = path.lastIndexOf('/');
        if (it->folder || path.left(slash) != folder)
            continue;
        const QString name = path.mid(slash + 1);
        if (matcher.match(name).hasMatch())
            names << name;
    }
    std::sort(names.begin(), names.end(), [](const QString& a, const QString& b) {
        return a.compare(b, Qt::CaseInsensitive) < 0;
    });
    return names;
}

std::optional<qint64> FakeFileSystem::lastModified(const QString& path) const {
    if (!files.contains(path))
        return std::nullopt;
    return files[path].modified;
}

bool FakeFileSystem::isFile(const QString& path) const {
    return files.contains(path) && !files[path].folder;
}

std::unique_ptr<ReadableFile> FakeFileSystem::openForReading(const QString& path,
                                                             QString* error) const {
    if (!isFile(path)) {
        if (error)
            *error = QStringLiteral("no such file");
        return nullptr;
    }
    return std::make_unique<ImageSnapshot>(files[path].contents);
}

}  // namespace tarvel::test
