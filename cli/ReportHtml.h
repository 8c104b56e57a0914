#pragma once

#include "record/HistoryReport.h"

#include <QByteArray>
#include <QString>

namespace tarvel {

// A report as one self-contained HTML file for a supervisor's report: no script, nothing
// fetched from anywhere, its charts inline SVG (the yield per group, the Pareto of failure
// reasons, the updates per day), laid out to print on A4. perDay: the same selection grouped by
// day. Text from the history is shown as text.
QByteArray reportHtml(const HistoryReport& report, const HistoryReport& perDay,
                      const QString& title, const QString& generated);

}  // namespace tarvel
