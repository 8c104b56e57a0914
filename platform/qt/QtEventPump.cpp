#include "platform/qt/QtEventPump.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <QTimer>

#include <cmath>

namespace tarvel {

void QtEventPump::processPending() {
    QCoreApplication::processEvents(QEventLoop::AllEvents);
}

// Sleeps in the event loop instead of polling: a single-shot timer at the deadline bounds the
// sleep, and any other event (received bytes, a timer tick, a click) ends it earlier. A local
// timer keeps nested waits (a wait inside a handler run by this wait) independent.
void QtEventPump::waitForEvents(double maxSeconds) {
    const int ms = static_cast<int>(std::ceil(qMax(0.0, maxSeconds) * 1000.0));
    QTimer wake;
    wake.setSingleShot(true);
    wake.setTimerType(Qt::PreciseTimer);
    wake.start(ms);
    QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

// A queued call is a posted event: the next processing of events runs it, before it sleeps.
void QtEventPump::post(std::function<void()> fn) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(fn), Qt::QueuedConnection);
}

}  // namespace tarvel
