#include "record/LogFolder.h"

#include "record/HistoryStore.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

namespace tarvel {

bool LogFolder::make(QString* reason) const {
    if (QDir().mkpath(path_))
        return true;
    *reason = QString::fromLocal8Bit(std::strerror(errno));
    return false;
}

void LogFolder::prune(HistoryStore& history, int kept) const {
    const QString folder = QFileInfo(path_).absoluteFilePath();
    std::vector<qint64> gone;
    for (const SpareLog& log : history.spareLogs(kept)) {
        const QFileInfo file(log.path);
        // A log elsewhere (the state folder moved) is left where it is, and forgotten.
        if (file.absolutePath() != folder || !file.exists() || QFile::remove(log.path))
            gone.push_back(log.id);
    }
    history.forgetLogs(gone);
}

}  // namespace tarvel
