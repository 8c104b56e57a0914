#include "platform/FileChooser.h"
#include "platform/FileSystem.h"
#include "status/ExchangeEvents.h"
#include "status/StatusDisplay.h"
#include "update/FileChoiceDetails.h"
#include "update/ImageInspection.h"
#include "update/ImageSnapshot.h"
#include "update/Updater.h"

#include <QHash>

#include <algorithm>
#include <vector>

namespace tarvel {

QString Updater::FindFirmwareFile(const QString& pattern) {
    QStringList names;
    QList<qint64> modified;
    {
        struct Candidate {
            QString name;
            qint64 modified;
        };
        std::vector<Candidate> candidates;
        for (const QString& name : s_.files.filesMatching(imageFolder_, pattern)) {
            // A file that vanished since the listing is no candidate.
            if (const auto time = s_.files.lastModified(s_.files.join(imageFolder_, name)))
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
    if (names.size() > 1 && manualFileSelect_ && s_.chooser)
        return chooseAmong(names, modified);
    // The newest that the approved list, if there is one, lets through; each newer one it
    // stops is named.
    for (const QString& name : names) {
        const QString path = s_.files.join(imageFolder_, name);
        const QString refusal = approve(name, path);
        if (refusal.isEmpty())
            return path;
        passOver(name, refusal);
    }
    return QString();
}

// The expert's choice; images the approved list stops are shown with the reason but cannot be
// chosen.
QString Updater::chooseAmong(const QStringList& names, const QList<qint64>& modified) {
    QList<FileChoice> choices;
    QHash<QString, QByteArray> approvedBytes;
    for (qsizetype i = 0; i < names.size(); ++i) {
        FileChoice choice = describeChoice(s_.files, imageFolder_, names[i], modified[i]);
        const QString path = s_.files.join(imageFolder_, names[i]);
        choice.refusal = approve(names[i], path);
        if (choice.refusal.isEmpty() && snapshot_)
            approvedBytes.insert(path, *snapshot_);
        choices << choice;
    }
    s_.status.setBusy(false);
    const std::optional<int> chosen = s_.chooser->choose(choices);
    s_.status.setBusy(true);
    QString path;
    if (chosen && *chosen >= 0 && *chosen < names.size() && choices[*chosen].refusal.isEmpty()) {
        path = s_.files.join(imageFolder_, names.at(*chosen));
    } else {
        // Closed without a choice: the image of the previous update serves only when it fits
        // this module (never send one module kind's image to another) and may be flashed.
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (s_.files.join(imageFolder_, names[i]) == FirmwareFile &&
                choices[i].refusal.isEmpty())
                path = FirmwareFile;
        }
    }
    if (approved_ && !path.isEmpty())
        keepSnapshot(path, approvedBytes.value(path));
    return path;
}

QString Updater::approve(const QString& name, const QString& path) {
    if (!approved_)
        return QString();
    keepSnapshot(path, readWholeImage(s_.files, path));
    if (!snapshot_)
        return cannotBeRead();
    return approved_->refusal(name, snapshotSha256());
}

void Updater::passOver(const QString& name, const QString& refusal) {
    s_.status.events().publish(
        Notice{0, Notice::Kind::Warning, QStringLiteral("%1 passed over: %2").arg(name, refusal)},
        &ExchangeListener::notice);
}

bool Updater::FileExists(const QString& Path) const {
    return s_.files.isFile(Path);
}

}  // namespace tarvel
