#pragma once

#include "platform/IntervalTimer.h"

#include <QTimer>

namespace tarvel {

class QtIntervalTimer : public IntervalTimer {
  public:
    QtIntervalTimer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            if (onTick)
                onTick();
        });
    }
    void setInterval(int milliseconds) override { timer_.setInterval(milliseconds); }
    void setEnabled(bool enabled) override {
        if (enabled == timer_.isActive())
            return;
        enabled ? timer_.start() : timer_.stop();
    }
    bool isEnabled() const override { return timer_.isActive(); }

  private:
    QTimer timer_;
};

}  // namespace tarvel
