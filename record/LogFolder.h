#pragma once

#include <QString>

namespace tarvel {

class HistoryStore;

// <state folder>/logs, where each exchange leaves its log.
class LogFolder {
  public:
    explicit LogFolder(QString path) : path_(std::move(path)) {}

    const QString& path() const { return path_; }
    // Makes it where it is missing; false with the system's reason.
    bool make(QString* reason) const;
    // Removes the logs the history no longer keeps (HistoryStore::spareLogs). It goes only by
    // the history: a file the history does not name in this folder (a technician's notes, a log
    // of an older program) is never touched, and no file's name or date counts.
    void prune(HistoryStore& history, int kept) const;

  private:
    QString path_;
};

}  // namespace tarvel
