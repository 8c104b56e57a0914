#pragma once

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvel {

class FileSystem;
class SettingsStore;

// The released images, as a list in the format of sha256sum: one "HASH  NAME" line per image,
// so that `sha256sum *.bin > SHA256SUMS` makes it and `sha256sum -c SHA256SUMS` checks it. With a
// list in force only a listed image whose bytes have the listed hash may reach a module.
class ApprovedImages {
  public:
    // Reads a list's text; a line that is neither a hash and a name nor empty is named in
    // problems() and ignored.
    static ApprovedImages parse(const QString& path, const QByteArray& text);
    // A list that is configured but cannot be read: it refuses every image.
    static ApprovedImages unreadable(const QString& path, const QString& reason);

    const QString& path() const { return path_; }
    // The list as a message names it: "the approved list PATH", with why it cannot be read.
    QString description() const;
    const QStringList& problems() const { return problems_; }
    // Why an image of this name and SHA-256 (hexadecimal) may not be flashed; empty when the list
    // approves it.
    QString refusal(const QString& fileName, const QByteArray& sha256) const;

  private:
    QString path_;
    QString unreadable_;  // why the list cannot be read; empty when it could
    QHash<QString, QByteArray> hashes_;
    QStringList problems_;
};

// The list in force: the file that "ApprovedImages" in section "Paths" of the settings store
// names, or else SHA256SUMS in the image folder if there is one; nothing without either.
std::optional<ApprovedImages> approvedImagesFor(const FileSystem& files,
                                                const SettingsStore& settings,
                                                const QString& imageFolder);

}  // namespace tarvel
