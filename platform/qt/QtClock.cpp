#include "platform/qt/QtClock.h"

#include <chrono>

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tarvel {

quint32 QtClock::tickCount() const {
#ifdef Q_OS_WIN
    return GetTickCount();
#else
    // Milliseconds of the monotonic clock, cut to 32 bits like the Windows tick counter.
    const auto sinceBoot = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<quint32>(
        std::chrono::duration_cast<std::chrono::milliseconds>(sinceBoot).count());
#endif
}

}  // namespace tarvel
