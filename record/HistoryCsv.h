#pragma once

#include "record/HistoryRow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace tarvel {

// The history as the former history.csv held it, one row per update in twelve columns (RFC
// 4180, CRLF line ends): read once to import an old file, written by `tarvel-update history
// --csv` so that spreadsheets made for the file keep working, with the columns added since
// (reason_code, reason) at the end of each line.
QString historyCsvHeader();
QString historyCsvLine(const HistoryRow& row);
// One record of RFC 4180 text with its CRLF: a field quoted where it must be.
QString csvLine(const QStringList& fields);
// The records of RFC 4180 text, each a list of its fields; a line ends with CRLF or LF.
std::vector<QStringList> csvRecords(const QString& text);

// What an old history.csv holds for the import.
struct HistoryCsvImport {
    std::vector<HistoryRow> rows;  // the good records; none when the file is refused
    int records = 0;               // header rows aside
    QStringList bad;               // each bad record: "line 3: 11 fields, not 12"
    QString refusal;               // why nothing is imported: "it is not text", most bad
};
// Every record but header rows, each checked: twelve fields, a start that is a time, an outcome
// this program knows. A file that is no text, or whose records are mostly bad, is no history.csv
// of this program's: nothing of it is imported.
HistoryCsvImport readHistoryCsv(const QByteArray& text);

}  // namespace tarvel
