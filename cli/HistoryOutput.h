#pragma once

#include "record/HistoryRow.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace tarvel {

// The history as `tarvel-update history` prints it, rows in the order given.
// A table to read: a line per exchange under a line of column names.
QString historyTable(const std::vector<HistoryRow>& rows);
// One JSON array of one object per exchange, on one line.
QByteArray historyJson(const std::vector<HistoryRow>& rows);
// The former history.csv: its header and a line per update.
QByteArray historyCsv(const std::vector<HistoryRow>& rows);

}  // namespace tarvel
