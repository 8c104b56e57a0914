#pragma once

#include "record/HistoryStore.h"

#include <QCommandLineParser>
#include <QString>

namespace tarvel {

// --since and --until as history and report take them: today and yesterday from their midnight,
// a time ago (45m, 2h, 7d), a date from its midnight, or a date with a time. Sets each bound
// given; why not, when one is none of those.
QString boundsProblem(const QCommandLineParser& parser, HistoryFilter* filter);

}  // namespace tarvel
