#include "station/StationForwarder.h"

#include "central/CentralHistory.h"

namespace tarvel {

std::unique_ptr<HistoryForwarder> stationForwarder(const SettingsStore& settings,
                                                   const QString& stateFolder) {
    const HistoryDestination line = HistoryDestination::from(settings);
    if (line.database.isEmpty())
        return nullptr;
    return std::make_unique<HistoryForwarder>(stateFolder, line.database, line.station);
}

}  // namespace tarvel
