#include "app/HistoryReader.h"

#include "record/HistoryStore.h"
#include "status/Outcome.h"

#include <QFileInfo>

#include <algorithm>

namespace tarvel {

QString HistoryReader::filesNow() const {
    QString files;
    for (const QString& suffix : {QString(), QStringLiteral("-wal")}) {
        const QFileInfo file(HistoryStore::fileIn(folder_) + suffix);
        if (file.exists()) {
            files += QStringLiteral("%1 %2 ")
                         .arg(file.size())
                         .arg(file.lastModified().toMSecsSinceEpoch());
        }
    }
    return files;
}

std::optional<std::vector<HistoryRow>> HistoryReader::readIfChanged(bool force) {
    const QString files = filesNow();
    if (!force && !runningRead_ && files == filesRead_)
        return std::nullopt;
    filesRead_ = files;
    HistoryStore history(folder_);
    std::vector<HistoryRow> rows;
    if (history.open(false))
        rows = history.rows({}).value_or(std::vector<HistoryRow>());
    runningRead_ = std::any_of(rows.begin(), rows.end(), [](const HistoryRow& row) {
        return outcomeFromWord(row.outcome) == Outcome::Running;
    });
    return rows;
}

}  // namespace tarvel
