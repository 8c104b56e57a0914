#pragma once

#include "sim/ModuleModel.h"
#include "sim/RecordedExchange.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace tarvel::sim {

// How the simulator program is to run, from its command line.
struct SimOptions {
    ModuleConfig module;
    double bytesPerSecond = 0;  // 0: no pacing
    int adapterLatencyMs = 0;   // 0: no USB adapter between the module and the host
    QString flashFile;          // empty: keep the flash in memory only
    QString link;               // empty: the host opens the pseudo-terminal by its own name
    bool exitWhenDone = false;
    double testModeDelay = 0.5;  // seconds before the first "UP" in test mode
    // Set: the module of a recorded exchange is played instead of the modelled one.
    std::optional<RecordedExchange> replay;
    QString replayFile;
    double replaySpeed = 1;  // scales the recorded delays
};

// Parses the arguments (the program name first). Returns nothing when the program should end:
// then *output holds the help text or an error, and *exitCode what to end with.
std::optional<SimOptions> parseSimOptions(const QStringList& arguments, QString* output,
                                          int* exitCode);

}  // namespace tarvel::sim
