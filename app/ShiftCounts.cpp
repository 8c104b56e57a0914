#include "app/ShiftCounts.h"

#include "record/BackgroundWorker.h"
#include "status/Outcome.h"

namespace tarvel {

namespace {

// Now, to the second: a history row's start is kept to the second, so an update begun in the
// second the shift began counts in it.
QDateTime shiftStartNow() {
    return QDateTime::fromSecsSinceEpoch(QDateTime::currentSecsSinceEpoch());
}

// Loads Qt's SQLite driver on this thread, which outlives the reader's worker, before the worker
// starts: a driver first loaded on a worker's thread is taken from under the program when that
// thread ends (the station window crashed on closing under Windows).
QStringList withSqliteDriver(QStringList ports) {
    preloadSqlDriver(QStringLiteral("QSQLITE"));
    return ports;
}

}  // namespace

ShiftCounts::ShiftCounts(QString stateFolder, QStringList ports)
    : ports_(withSqliteDriver(std::move(ports))), start_(shiftStartNow()), reader_([stateFolder] {
          // This station's own rows only: the line's history is never asked here.
          return std::make_unique<HistoryReader>(stateFolder, HistoryDestination{});
      }) {}

void ShiftCounts::newShift() {
    start_ = shiftStartNow();
    counts_.clear();
    if (onChanged)
        onChanged();
    refresh();
}

void ShiftCounts::refresh() {
    if (reading_) {
        again_ = true;
        return;
    }
    reading_ = true;
    HistoryFilter filter;
    filter.kind = QStringLiteral("update");
    filter.since = start_;
    reader_.post([this, filter](HistoryReader& reader) {
        QString why;
        std::optional<HistoryReport> report = reader.report(filter, {ReportGroup::Port}, &why);
        reader.tell([this, report = std::move(report), why] {
            reading_ = false;
            ++readings_;
            problem_ = why;
            if (report)
                take(*report);
            if (onChanged)
                onChanged();
            if (std::exchange(again_, false))
                refresh();
        });
    });
}

void ShiftCounts::take(const HistoryReport& report) {
    counts_.clear();
    for (const ReportLine& line : report.lines) {
        if (line.group.isEmpty() || !ports_.contains(line.group.first()))
            continue;
        qint64 stopped = 0;
        for (const auto& [code, count] : line.failures) {
            if (code == outcomeWord(Outcome::Interrupted) ||
                code == outcomeWord(Outcome::Cancelled))
                stopped += count;
        }
        counts_[line.group.first()] = {line.successes, line.updates - line.successes - stopped};
    }
}

ShiftCount ShiftCounts::of(const QString& port) const {
    const auto found = counts_.find(port);
    return found == counts_.end() ? ShiftCount{} : found->second;
}

ShiftCount ShiftCounts::total() const {
    ShiftCount sum;
    for (const auto& [port, count] : counts_) {
        sum.passed += count.passed;
        sum.failed += count.failed;
    }
    return sum;
}

}  // namespace tarvel
