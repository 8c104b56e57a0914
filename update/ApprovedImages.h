#pragma once

#include "status/Outcome.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tarvel {

class FileSystem;
class SettingsStore;
class TrustedKeys;

// The signature beside an approved list, as far as it was read: the file, the key that made it
// and its trusted comment (the release team's note, shown as text only).
struct ListSignature {
    QString path;
    QString keyId;  // "AEB770F009C60C7E"; empty until known
    QString trustedComment;
    bool found = false;              // anything of that name is there
    QString problem;                 // why it does not hold; empty when it does or is not asked
    bool holds = false;              // made by a trusted key, over this list and this comment
    std::optional<qint64> signedAt;  // the comment's timestamp (Minisign.h), where it has one
    // The expert let an older list than one already used through, once: how, and both dates.
    QString olderAllowed;
};

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
    // With trusted keys in force but no list: every image is refused (not-signed).
    static ApprovedImages missing(const TrustedKeys& keys);
    // Checks the list's signature (its path with ".minisig") against the trusted keys; a list
    // whose signature does not hold refuses every image, and says why. text: the list as read.
    void checkSignature(const FileSystem& files, const TrustedKeys& keys, const QByteArray& text);
    // Compares a list whose signature holds with the newest of its key that this station has
    // used (none: none yet; problem: it cannot be told); an older one, one without a timestamp
    // once a list with one was used, and one that cannot be compared refuse every image
    // (older-release), unless allow says yes to the question: then the list goes through once,
    // noted as allowed. allow is asked only when needed, with the question naming both dates.
    void checkRelease(std::optional<qint64> newest, const QString& problem,
                      const std::function<QString(const QString& question)>& allow);

    const QString& path() const { return path_; }
    // The list as a message names it: "the approved list PATH", with why it cannot be read.
    QString description() const;
    const QStringList& problems() const { return problems_; }
    // The signature, when trusted keys are in force and one was found.
    const ListSignature& signature() const { return signature_; }
    // Why every image stops, as a code: not-approved for a list that cannot be read, or
    // not-signed, bad-signature, untrusted-key for one whose signature does not hold,
    // older-release for an older one than a list of its key this station has used.
    ReasonCode code() const { return code_; }
    // Why an image of this name and SHA-256 (hexadecimal) may not be flashed; empty when the list
    // approves it.
    QString refusal(const QString& fileName, const QByteArray& sha256) const;

  private:
    QString path_;
    QString unreadable_;  // why the list cannot be read; empty when it could
    QString untrusted_;   // why its signature does not hold, as a whole clause; empty when it does
    ReasonCode code_ = ReasonCode::NotApproved;
    ListSignature signature_;
    QHash<QString, QByteArray> hashes_;
    QSet<QString> conflicting_;  // listed with different hashes
    QStringList problems_;
};

// The list in force: the file that "ApprovedImages" in section "Paths" of the settings store
// names, or else SHA256SUMS in the image folder if anything of that name is there; nothing
// without either. A list that is no readable regular file (a dangling link, a folder, a pipe, a
// device, a file without permission to read it) refuses every image and says why.
// With trusted keys in force, the list must carry a signature by one of them, and a station
// without a list refuses every image.
std::optional<ApprovedImages> approvedImagesFor(const FileSystem& files,
                                                const SettingsStore& settings,
                                                const QString& imageFolder,
                                                const TrustedKeys& keys);

}  // namespace tarvel
