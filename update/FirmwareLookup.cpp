#include "update/FirmwareLookup.h"

#include "platform/FileSystem.h"
#include "status/ExchangeEvents.h"
#include "status/StatusDisplay.h"
#include "update/FileChoiceDetails.h"
#include "update/ImageCheck.h"
#include "update/ImageChooser.h"
#include "update/ImageSnapshot.h"
#include "update/Minisign.h"
#include "update/ReleaseMemory.h"
#include "update/TrustedKeys.h"
#include "update/UpdateContext.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace tarvel {

FirmwareLookup::FirmwareLookup(UpdateContext& update, const FileSystem& files,
                               const SettingsStore& settings, ImageChooser* chooser,
                               QString imageFolder, QString keysFolder, ReleaseMemory* releases,
                               bool allowOlderRelease)
    : update_(update),
      files_(files),
      settings_(settings),
      chooser_(chooser),
      imageFolder_(std::move(imageFolder)),
      keysFolder_(std::move(keysFolder)),
      releases_(releases),
      allowOlderRelease_(allowOlderRelease) {}

FirmwareLookup::Result FirmwareLookup::imageFor(const QString& pattern) {
    if (const QString problem = files_.folderProblem(imageFolder_); !problem.isEmpty())
        return {QString(), QStringLiteral("The image folder\n") + imageFolder_ + QLatin1Char('\n') +
                               problem + QLatin1Char('.')};
    const TrustedKeys keys = TrustedKeys::load(files_, keysFolder_);
    approved_ = approvedImagesFor(files_, settings_, imageFolder_, keys);
    checkRelease();
    QStringList problems = keys.problems();
    if (approved_)
        problems << approved_->problems();
    for (const QString& problem : problems)
        update_.status().events().publish(Notice{0, Notice::Kind::Warning, problem},
                                          &ExchangeListener::notice);
    const QString image = FindFirmwareFile(pattern);
    if (image.isEmpty()) {
        const bool refusedByList = approved_ &&
                                   !files_.filesMatching(imageFolder_, pattern).isEmpty() &&
                                   files_.unreadableNames(imageFolder_, pattern).isEmpty();
        return {QString(), whyNone(pattern),
                refusedByList ? approved_->code() : ReasonCode::NoImage};
    }
    // The image is read once, here; the transfer sends those very bytes (or refuses an image
    // that cannot be read).
    FirmwareFile_ = image;
    chosenImage_ = image;
    ImageChosen chosen{0, image, -1, QByteArray(), QString()};
    if (update_.image().hold(image)) {
        chosen.size = update_.image().bytes()->size();
        chosen.sha256 = update_.image().sha256();
    } else if (update_.image().oversize() > 0) {
        chosen.size = update_.image().oversize();
    }
    if (approved_) {
        const ListSignature& signature = approved_->signature();
        chosen.approvedBy = approved_->path();
        if (signature.holds) {
            chosen.signingKey = signature.keyId;
            chosen.trustedComment = commentLine(signature.trustedComment);
            chosen.signedAt = signature.signedAt;
            chosen.olderAllowed = signature.olderAllowed;
        }
    }
    update_.status().events().publish(chosen, &ExchangeListener::imageChosen);
    return {image, QString()};
}

// The newest list of the key is asked for once, here, before the first byte of the transfer;
// the record answers within a bounded wait.
void FirmwareLookup::checkRelease() {
    if (!approved_ || !approved_->signature().holds || !releases_)
        return;
    const ReleaseMemory::Newest newest = releases_->newestAccepted(approved_->signature().keyId);
    approved_->checkRelease(newest.timestamp, newest.problem, [this](const QString& why) {
        if (allowOlderRelease_)
            return QStringLiteral("--allow-older-release");
        if (!chooser_ || !chooser_->choosing())
            return QString();
        update_.status().setBusy(false);
        const bool allowed = chooser_->allowOlderRelease(approved_->path(), why);
        update_.status().setBusy(true);
        return allowed ? QStringLiteral("the expert") : QString();
    });
    if (!approved_->signature().olderAllowed.isEmpty())
        update_.status().events().publish(
            Notice{0, Notice::Kind::Warning,
                   QStringLiteral("The approved list %1 is older than one already used, %2.")
                       .arg(approved_->path(), approved_->signature().olderAllowed)},
            &ExchangeListener::notice);
}

// Names and folders are the technician's: they go into the message as they are.
QString FirmwareLookup::whyNone(const QString& pattern) const {
    const QStringList unreadable = files_.unreadableNames(imageFolder_, pattern);
    if (!unreadable.isEmpty()) {
        return QStringLiteral("The image folder\n") + imageFolder_ + QStringLiteral("\nholds ") +
               unreadable.join(QStringLiteral(", ")) +
               QStringLiteral(", whose name cannot be read. Rename it, then try again.");
    }
    if (approved_ && !files_.filesMatching(imageFolder_, pattern).isEmpty()) {
        return QStringLiteral("No approved firmware image ") + pattern +
               QStringLiteral(" was found in\n") + imageFolder_ + QStringLiteral("\n(") +
               approved_->description() + QLatin1Char(')');
    }
    return QStringLiteral("No firmware image ") + pattern + QStringLiteral(" was found in\n") +
           imageFolder_;
}

QString FirmwareLookup::FindFirmwareFile(const QString& pattern) {
    update_.image().forget();
    QStringList names;
    QList<qint64> modified;
    {
        struct Candidate {
            QString name;
            qint64 modified;
        };
        std::vector<Candidate> candidates;
        for (const QString& name : files_.filesMatching(imageFolder_, pattern)) {
            // A file that vanished since the listing is no candidate.
            if (const auto time = files_.lastModified(files_.join(imageFolder_, name)))
                candidates.push_back({name, *time});
        }
        // Newest first; a stable sort keeps files of equal times in the listing's alphabetical
        // order, so among the newest the alphabetically first wins.
        std::stable_sort(
            candidates.begin(), candidates.end(),
            [](const Candidate& a, const Candidate& b) { return a.modified > b.modified; });
        for (const Candidate& candidate : candidates) {
            names << candidate.name;
            modified << candidate.modified;
        }
    }
    if (names.size() > 1 && chooser_ && chooser_->choosing())
        return chooseAmong(names, modified);
    // The newest that the approved list, if there is one, lets through; each newer one it
    // stops is named.
    for (const QString& name : names) {
        const QString path = files_.join(imageFolder_, name);
        const QString refusal = approve(name, path);
        if (refusal.isEmpty())
            return path;
        passOver(name, refusal);
    }
    update_.image().forget();
    return QString();
}

// The expert's choice; images the approved list stops are shown with the reason but cannot be
// chosen.
QString FirmwareLookup::chooseAmong(const QStringList& names, const QList<qint64>& modified) {
    QList<FileChoice> choices;
    QHash<QString, QByteArray> approvedBytes;
    for (qsizetype i = 0; i < names.size(); ++i) {
        FileChoice choice = describeChoice(files_, imageFolder_, names[i], modified[i]);
        const QString path = files_.join(imageFolder_, names[i]);
        choice.refusal = approve(names[i], path);
        if (approved_ && approved_->signature().holds)
            choice.signature = QStringLiteral("key %1, \"%2\"")
                                   .arg(approved_->signature().keyId,
                                        commentLine(approved_->signature().trustedComment));
        if (choice.refusal.isEmpty() && update_.image().bytes())
            approvedBytes.insert(path, *update_.image().bytes());
        choices << choice;
    }
    update_.image().forget();
    update_.status().setBusy(false);
    const std::optional<int> chosen = chooser_->choose(choices);
    update_.status().setBusy(true);
    QString path;
    if (chosen && *chosen >= 0 && *chosen < names.size() && choices[*chosen].refusal.isEmpty()) {
        path = files_.join(imageFolder_, names.at(*chosen));
    } else {
        // Closed without a choice: the image of the previous update serves only when it fits
        // this module (never send one module kind's image to another) and may be flashed.
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (files_.join(imageFolder_, names[i]) == FirmwareFile_ &&
                choices[i].refusal.isEmpty())
                path = FirmwareFile_;
        }
    }
    if (approved_ && !path.isEmpty())
        update_.image().keep(path, approvedBytes.value(path));
    return path;
}

QString FirmwareLookup::approve(const QString& name, const QString& path) {
    if (!approved_)
        return QString();
    update_.image().read(path);
    if (update_.image().oversize() > 0)
        return QStringLiteral("it holds %1 bytes, more than any image (%2 at most)")
            .arg(update_.image().oversize())
            .arg(kLargestImage);
    if (!update_.image().bytes())
        return cannotBeRead();
    return approved_->refusal(name, update_.image().sha256());
}

void FirmwareLookup::passOver(const QString& name, const QString& refusal) {
    update_.status().events().publish(
        Notice{0, Notice::Kind::Warning, name + QStringLiteral(" passed over: ") + refusal},
        &ExchangeListener::notice);
}

bool FirmwareLookup::FileExists(const QString& Path) const {
    return files_.isFile(Path);
}

}  // namespace tarvel
