#pragma once

#include <QStringList>

namespace tarvel {

// tarvel-update report: the yield of the updates in the history in force, grouped, with the
// Pareto of failure reasons; a table, CSV, JSON or an HTML page. Its exit status: 0 reported,
// 1 the history cannot be read or the page not written, 2 bad usage.
int runReport(const QStringList& arguments);

}  // namespace tarvel
