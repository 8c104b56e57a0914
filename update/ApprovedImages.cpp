#include "update/ApprovedImages.h"

#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

#include <QRegularExpression>

namespace tarvel {

namespace {
// The largest list worth reading: a few hundred images at about a hundred bytes a line.
constexpr qint64 kLargestList = 1 << 20;

// sha256sum writes "HASH  NAME", or "HASH *NAME" for a file read in binary mode; a name with a
// backslash or a line break gets a leading backslash and those characters escaped.
const QRegularExpression kLine(QStringLiteral("^(\\\\?)([0-9a-fA-F]{64}) [ *](.+)$"));

QString unescaped(const QString& name) {
    QString plain;
    for (qsizetype i = 0; i < name.size(); ++i) {
        if (name[i] == QLatin1Char('\\') && i + 1 < name.size()) {
            ++i;
            plain += name[i] == QLatin1Char('n') ? QLatin1Char('\n') : name[i];
        } else {
            plain += name[i];
        }
    }
    return plain;
}

QString fileNameOf(const QString& path) {
    return path.section(QLatin1Char('/'), -1);
}
}  // namespace

ApprovedImages ApprovedImages::parse(const QString& path, const QByteArray& text) {
    ApprovedImages list;
    list.path_ = path;
    const QList<QByteArray> lines = text.split('\n');
    for (qsizetype i = 0; i < lines.size(); ++i) {
        const QString line = QString::fromUtf8(lines[i]).remove(QLatin1Char('\r'));
        if (line.trimmed().isEmpty() || line.startsWith(QLatin1Char('#')))
            continue;
        const QRegularExpressionMatch match = kLine.match(line);
        if (!match.hasMatch()) {
            list.problems_ << QStringLiteral("%1, line %2: not a SHA-256 and a file name")
                                  .arg(path)
                                  .arg(i + 1);
            continue;
        }
        const QString name =
            match.captured(1).isEmpty() ? match.captured(3) : unescaped(match.captured(3));
        list.hashes_.insert(fileNameOf(name), match.captured(2).toLower().toLatin1());
    }
    return list;
}

ApprovedImages ApprovedImages::unreadable(const QString& path, const QString& reason) {
    ApprovedImages list;
    list.path_ = path;
    list.unreadable_ = reason.isEmpty() ? QStringLiteral("it cannot be read") : reason;
    return list;
}

QString ApprovedImages::description() const {
    return unreadable_.isEmpty()
               ? QStringLiteral("the approved list %1").arg(path_)
               : QStringLiteral("the approved list %1 cannot be read: %2").arg(path_, unreadable_);
}

QString ApprovedImages::refusal(const QString& fileName, const QByteArray& sha256) const {
    if (!unreadable_.isEmpty())
        return QStringLiteral("the approved list cannot be read");
    const auto listed = hashes_.constFind(fileName);
    if (listed == hashes_.constEnd())
        return QStringLiteral("not on the approved list");
    if (*listed != sha256)
        return QStringLiteral("differs from its approved checksum");
    return QString();
}

std::optional<ApprovedImages> approvedImagesFor(const FileSystem& files,
                                                const SettingsStore& settings,
                                                const QString& imageFolder) {
    QString path =
        settings.value(QStringLiteral("Paths"), QStringLiteral("ApprovedImages"), QString())
            .trimmed();
    const bool configured = !path.isEmpty();
    if (!configured) {
        path = files.join(imageFolder, QStringLiteral("SHA256SUMS"));
        if (!files.isFile(path))
            return std::nullopt;
    }
    // A list that is meant to be there and cannot be read stops every image (fails closed).
    QString error;
    const std::unique_ptr<ReadableFile> file =
        files.isFile(path) ? files.openForReading(path, &error) : nullptr;
    if (!file) {
        return ApprovedImages::unreadable(
            path, files.isFile(path) ? error : QStringLiteral("it does not exist"));
    }
    if (file->size() > kLargestList)
        return ApprovedImages::unreadable(path, QStringLiteral("it is too large for a list"));
    const QByteArray text = file->read(file->size());
    if (text.size() != file->size())
        return ApprovedImages::unreadable(path, QStringLiteral("it cannot be read to its end"));
    return ApprovedImages::parse(path, text);
}

}  // namespace tarvel
