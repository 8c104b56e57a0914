#pragma once

#include <QStringList>

namespace tarvel {

// tarvel-update history [--csv | --json | --wide] [--no-header] [--port PORT] [--outcome O]
//                       [--kind K] [--since WHEN] [--until WHEN] [--last N]:
// the history of updates and tests in the state folder, newest first. arguments are the
// program's own, "history" the first after its name. Returns the exit status: 0, 1 when the
// history cannot be read, 2 bad usage.
int runHistory(const QStringList& arguments);

}  // namespace tarvel
