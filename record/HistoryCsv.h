#pragma once

#include "record/HistoryRow.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <vector>

namespace tarvel {

// The history as the former history.csv held it, one row per update in twelve columns (RFC
// 4180, CRLF line ends): read once to import an old file, written by `tarvel-update history
// --csv` so that spreadsheets made for the file keep working.
QString historyCsvHeader();
QString historyCsvLine(const HistoryRow& row);
// One record of RFC 4180 text with its CRLF: a field quoted where it must be.
QString csvLine(const QStringList& fields);
// The records of RFC 4180 text, each a list of its fields; a line ends with CRLF or LF.
std::vector<QStringList> csvRecords(const QString& text);
// Every row but header rows; a row with fields missing keeps those it has.
std::vector<HistoryRow> parseHistoryCsv(const QByteArray& text);

}  // namespace tarvel
