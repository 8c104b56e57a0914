#pragma once

#include "app/HistoryReader.h"
#include "app/StationTile.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <functional>
#include <map>

namespace tarvel {

// The shift's counts of a station's ports, read from the history rows their updates wrote, so
// that the window's figures can never disagree with the record: per port the updates passed, and
// those failed (a stopped one, interrupted or cancelled, is neither). Counted by the database on
// a worker of its own, from this station's own file.
class ShiftCounts {
  public:
    ShiftCounts(QString stateFolder, QStringList ports);

    // The shift begins now: counts only what starts from here on.
    void newShift();
    const QDateTime& shiftStart() const { return start_; }
    // Counts again, on the worker; one count at a time, the last asked for meanwhile after it.
    void refresh();

    ShiftCount of(const QString& port) const;
    ShiftCount total() const;
    // How many counts have been read so far.
    int readings() const { return readings_; }
    // Why the history could not be counted the last time; empty when it could.
    const QString& problem() const { return problem_; }

    // The counts have been read again.
    std::function<void()> onChanged;

  private:
    void take(const HistoryReport& report);

    QStringList ports_;
    QDateTime start_;
    std::map<QString, ShiftCount> counts_;
    QString problem_;
    bool reading_ = false;
    int readings_ = 0;
    bool again_ = false;
    Worker<HistoryReader> reader_;
};

}  // namespace tarvel
