#pragma once

#include <QtGlobal>

namespace tarvel {

// The two clocks of the program. Every wait and time-out reads seconds(), which never jumps
// (a wait across midnight ends on time); the elapsed-time display counts tickCount(), a 32-bit
// millisecond counter that wraps after about 49.7 days.
class Clock {
  public:
    virtual ~Clock() = default;
    virtual double seconds() const = 0;
    virtual quint32 tickCount() const = 0;
};

}  // namespace tarvel
