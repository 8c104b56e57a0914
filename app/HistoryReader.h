#pragma once

#include "record/HistoryRow.h"

#include <QDateTime>
#include <QObject>
#include <QString>

#include <optional>
#include <vector>

namespace tarvel {

// Reads the history for the History window on a thread of its own: the window's thread also
// runs the exchanges with the module, which must never wait for the database (another
// process's write, the settling of rows whose process is gone). Lives on that thread; call
// readIfChanged there only.
class HistoryReader : public QObject {
  public:
    explicit HistoryReader(QString stateFolder) : folder_(std::move(stateFolder)) {}

    // Every row, newest first, when the history's files changed since the last read, a row was
    // still running then (its process may have gone since), or force; nothing otherwise.
    std::optional<std::vector<HistoryRow>> readIfChanged(bool force);

  private:
    // The database and its write-ahead log as the file system sees them: any commit changes it.
    QString filesNow() const;

    QString folder_;
    QString filesRead_;
    bool runningRead_ = false;
};

}  // namespace tarvel
