#include "update/TrustedKeys.h"

#include "platform/FileSystem.h"
#include "platform/SettingsStore.h"

#include <QDir>

namespace tarvel {

namespace {
// A key file is two short lines; anything much larger is no key.
constexpr qint64 kLargestKeyFile = 4096;

// The key file's text, or why it cannot be had.
std::optional<QByteArray> keyFileText(const FileSystem& files, const QString& path, QString* why) {
    if (*why = files.whyUnreadable(path); !why->isEmpty())
        return std::nullopt;
    const std::unique_ptr<ReadableFile> file = files.openForReading(path, why);
    if (!file)
        return std::nullopt;
    if (file->size() > kLargestKeyFile) {
        *why = QStringLiteral("it is too large for a key");
        return std::nullopt;
    }
    return file->read(file->size());
}
}  // namespace

QString TrustedKeys::folderFor(const SettingsStore& settings, const QString& programFolder) {
    const QString chosen =
        settings.value(QStringLiteral("Trust"), QStringLiteral("Keys"), QString()).trimmed();
    if (!chosen.isEmpty())
        return QDir::cleanPath(chosen);
#ifdef Q_OS_WIN
    return QDir(programFolder).filePath(QStringLiteral("trusted-keys"));
#else
    Q_UNUSED(programFolder);
    return QStringLiteral("/etc/tarvel-update-utility/trusted-keys");
#endif
}

TrustedKeys TrustedKeys::load(const FileSystem& files, const QString& folder) {
    TrustedKeys trusted;
    trusted.folder_ = folder;
    if (folder.isEmpty() || !files.folderProblem(folder).isEmpty())
        return trusted;
    // A pipe or a dangling link named like a key is named with why, never passed over: it
    // was meant as a key.
    const QStringList names = files.entriesMatching(folder, QStringLiteral("*.pub"));
    if (names.isEmpty())
        return trusted;
    trusted.inForce_ = true;
    if (files.writableByOthers(folder)) {
        trusted.problems_ << QStringLiteral(
                                 "The trusted keys' folder %1 may be written by anyone, who "
                                 "could add a key of their own: no key in it is trusted.")
                                 .arg(folder);
        return trusted;
    }
    for (const QString& name : names) {
        const QString path = files.join(folder, name);
        QString why;
        std::optional<MinisignKey> key;
        if (const std::optional<QByteArray> text = keyFileText(files, path, &why))
            key = parseMinisignKey(*text, &why);
        if (key && files.writableByOthers(path))
            why = QStringLiteral("anyone may write it"), key.reset();
        if (!key) {
            trusted.problems_
                << QStringLiteral("The key file %1 trusts nothing: %2.").arg(path, why);
            continue;
        }
        key->path = path;
        trusted.keys_ << *key;
    }
    return trusted;
}

const MinisignKey* TrustedKeys::find(const QByteArray& id) const {
    for (const MinisignKey& key : keys_) {
        if (key.id == id)
            return &key;
    }
    return nullptr;
}

}  // namespace tarvel
