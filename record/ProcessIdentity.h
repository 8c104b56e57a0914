#pragma once

#include <QString>
#include <QtGlobal>

namespace tarvel {

// Which process runs an exchange, told well enough that another process can see later whether
// it still runs: a history row still "running" whose process is gone was never ended (killed,
// or the machine lost power), and reads "unfinished".
struct ProcessIdentity {
    QString host;
    QString boot;  // changes with every start of the machine; empty where unknown
    qint64 pid = 0;
    QString started;  // when the process started, so that a reused pid is not taken for it

    static ProcessIdentity current();
};

enum class Liveness { Running, Gone, Unknown };

// Unknown for a process on another host: its rows are left as they are.
Liveness livenessOf(const ProcessIdentity& process);

}  // namespace tarvel
