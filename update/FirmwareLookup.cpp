#include "platform/FileChooser.h"
#include "platform/FileSystem.h"
#include "status/StatusDisplay.h"
#include "update/FileChoiceDetails.h"
#include "update/Updater.h"

#include <algorithm>
#include <vector>

namespace tarvel {

QString Updater::FindFirmwareFile(const QString& pattern) {
    struct Candidate {
        QString name;
        qint64 modified;
    };
    std::vector<Candidate> candidates;
    for (const QString& name : s_.files.filesMatching(imageFolder_, pattern)) {
        // A file that vanished since the listing is no candidate.
        if (const auto modified = s_.files.lastModified(s_.files.join(imageFolder_, name)))
            candidates.push_back({name, *modified});
    }
    if (candidates.empty())
        return QString();

    // Newest first; a stable sort keeps files of equal times in the listing's alphabetical
    // order, so among the newest the alphabetically first wins.
    std::stable_sort(
        candidates.begin(), candidates.end(),
        [](const Candidate& a, const Candidate& b) { return a.modified > b.modified; });

    if (candidates.size() > 1 && manualFileSelect_ && s_.chooser) {
        QStringList names;
        QList<FileChoice> choices;
        for (const Candidate& candidate : candidates) {
            names << candidate.name;
            choices << describeChoice(s_.files, imageFolder_, candidate.name, candidate.modified);
        }
        s_.status.setBusy(false);
        const std::optional<int> chosen = s_.chooser->choose(choices);
        s_.status.setBusy(true);
        if (chosen && *chosen >= 0 && *chosen < names.size())
            return s_.files.join(imageFolder_, names.at(*chosen));
        // Closed without a choice: the image of the previous update serves only when it fits
        // this module; never send one module kind's image to another.
        for (const QString& name : names) {
            if (s_.files.join(imageFolder_, name) == FirmwareFile)
                return FirmwareFile;
        }
        return QString();
    }
    return s_.files.join(imageFolder_, candidates.front().name);
}

bool Updater::FileExists(const QString& Path) const {
    return s_.files.isFile(Path);
}

}  // namespace tarvel
