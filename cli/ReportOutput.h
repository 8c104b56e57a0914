#pragma once

#include "record/HistoryReport.h"

#include <QByteArray>
#include <QString>

namespace tarvel {

// A report as `tarvel-update report` prints it.

// A table per group, then the Pareto of failure reasons; within width columns (0: any), the
// failures and the example sentence cut at their end, unless wide.
QString reportTable(const HistoryReport& report, int width);
// One line per group and one for the whole ("all" in each group's column), RFC 4180.
QByteArray reportCsv(const HistoryReport& report);
// One JSON object on one line: {"schema", "by", "groups", "whole", "pareto"}.
QByteArray reportJson(const HistoryReport& report);

// The JSON object's version, raised only by a change that breaks a reader.
constexpr int kReportJsonSchema = 1;

}  // namespace tarvel
