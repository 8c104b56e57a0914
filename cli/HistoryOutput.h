#pragma once

#include "record/HistoryRow.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace tarvel {

// The history as `tarvel-update history` prints it, rows in the order given.

// A table to read, a line per exchange, columns sized to their content.
struct TableLayout {
    bool wide = false;   // every column in full; else the terminal's columns, short
    bool header = true;  // a line of column names first
    // Fit into this many columns, cutting names and paths at their start and the reason at its
    // end; 0: any. Every column in full that does not fit is shown as a block per row, a
    // column a line.
    int width = 0;
    bool stations = false;  // with the station's column (the line's history)
};
QString historyTable(const std::vector<HistoryRow>& rows, const TableLayout& layout);
// One JSON array of one object per exchange, on one line; null for what is not known.
QByteArray historyJson(const std::vector<HistoryRow>& rows);
// The former history.csv: its header and a line per update.
QByteArray historyCsv(const std::vector<HistoryRow>& rows);

// The JSON objects' version, raised only by a change that breaks a reader.
constexpr int kHistoryJsonSchema = 1;

}  // namespace tarvel
