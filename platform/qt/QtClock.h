#pragma once

#include "platform/Clock.h"

#include <QElapsedTimer>

namespace tarvel {

class QtClock : public Clock {
  public:
    QtClock() { elapsed_.start(); }
    double seconds() const override { return elapsed_.nsecsElapsed() / 1e9; }
    quint32 tickCount() const override;

  private:
    QElapsedTimer elapsed_;
};

}  // namespace tarvel
