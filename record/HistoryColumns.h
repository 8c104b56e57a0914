#pragma once

#include "record/HistoryRow.h"

#include <QDateTime>
#include <QJsonValue>
#include <QString>
#include <QVariant>
#include <QtGlobal>

#include <optional>
#include <variant>
#include <vector>

namespace tarvel {

// What a column holds, which decides how every view shows it.
enum class ColumnKind {
    Text,     // as it is
    Time,     // ISO 8601 with offset; shown short, in local time
    Path,     // a file; shown by its name
    Count,    // a whole number
    Seconds,  // one decimal
    Outcome,  // a word of the outcome, coloured in the window
};

// Where a column's value lives in a HistoryRow.
using HistoryField = std::variant<QString HistoryRow::*, qint64 HistoryRow::*,
                                  std::optional<qint64> HistoryRow::*, double HistoryRow::*>;

// One column of the history, for every view of it: the database's listing, the CSV export, the
// JSON, the command line's table and the History window. Adding a column is a row in
// historyColumns(), a field in HistoryRow and a step of the schema.
struct HistoryColumn {
    const char* name;    // in the database, and the JSON key
    const char* header;  // for a person: the window's header; upper case in the terminal's table
    int csvPosition;     // 0 to 11 in the former history.csv, 12 and on added at its end, -1
                         // when the CSV has no such column
    bool inWindow;       // in the History window unless the technician chooses otherwise
    bool inTerminal;     // in `tarvel-update history`'s table without --wide
    ColumnKind kind;
    HistoryField field;

    bool rightAligned() const { return kind == ColumnKind::Count || kind == ColumnKind::Seconds; }
    // The value as stored: a null QVariant where it is not known.
    QVariant value(const HistoryRow& row) const;
    void assign(HistoryRow& row, const QVariant& value) const;
    // For a person: local short time, a file's name, seconds with one decimal; empty where not
    // known.
    QString display(const HistoryRow& row) const;
    // In full: the whole time and path.
    QString text(const HistoryRow& row) const;
    QJsonValue json(const HistoryRow& row) const;
};

// In the order the views show them.
const std::vector<HistoryColumn>& historyColumns();
const HistoryColumn& historyColumn(const char* name);
// The CSV's columns, in its order: the former history.csv's twelve, then those added since.
std::vector<const HistoryColumn*> csvColumns();
// How many columns the former history.csv had.
constexpr int kFormerCsvColumns = 12;

// A time as the views show it: "12-07 00:37:16" in local time within this year, the date
// alone for an earlier year; the text as it is when it is no time.
QString shortTime(const QString& iso, const QDate& today = QDate::currentDate());

}  // namespace tarvel
