#pragma once

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvel {

class FileSystem;
class SettingsStore;

// The released images, as a list in the format of sha256sum: one "HASH  NAME" line per image,
// so that `sha256sum *.bin > SHA256SUMS` makes it and `sha256sum -c SHA256SUMS` checks it. With a
// list in force only a listed image whose bytes have the listed hash may reach a module. A NAME is
// the image's path relative to the image folder, matched exactly: "archive/x.bin" approves that
// file only, never x.bin in the folder itself.
class ApprovedImages {
  public:
    // Reads a list's text. Named in problems() and ignored: a line that is neither a hash and a
    // name nor empty, and a name that is absolute or leads out of the folder with "..". A name
    // listed with different hashes is approved by none of its lines, which are all named.
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
    QSet<QString> conflicting_;  // listed with different hashes
    QStringList problems_;
};

// The list in force: the file that "ApprovedImages" in section "Paths" of the settings store
// names, or else SHA256SUMS in the image folder if anything of that name is there; nothing
// without either. A list that is no readable regular file (a dangling link, a folder, a pipe, a
// device, a file without permission to read it) refuses every image and says why.
std::optional<ApprovedImages> approvedImagesFor(const FileSystem& files,
                                                const SettingsStore& settings,
                                                const QString& imageFolder);

}  // namespace tarvel
