#pragma once

#include "central/HistoryForwarder.h"

#include <QString>

#include <memory>

namespace tarvel {

class SettingsStore;

// The one forwarder of a station, so that it holds one connection to the line's server at a
// time: its update processes (started with --forwarded-by-station) only write their own rows, and
// each of their status lines and ends pokes it. None without a line's history.
std::unique_ptr<HistoryForwarder> stationForwarder(const SettingsStore& settings,
                                                   const QString& stateFolder);

}  // namespace tarvel
