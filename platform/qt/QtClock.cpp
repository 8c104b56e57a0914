#include "platform/qt/QtClock.h"

#ifdef Q_OS_WIN
#include <windows.h>
#endif

namespace tarvel {

quint32 QtClock::tickCount() const {
#ifdef Q_OS_WIN
    return GetTickCount();
#else
    // Milliseconds of the monotonic clock, cut to 32 bits like the Windows tick counter.
    return static_cast<quint32>(QElapsedTimer().msecsSinceReference());
#endif
}

}  // namespace tarvel
