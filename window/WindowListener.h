#pragma once

#include "status/ExchangeEvents.h"

namespace tarvel {

class ActivityInd;
class StatusView;

// The window as a listener of the session: each event shown on the controls it concerns.
class WindowListener : public ExchangeListener {
  public:
    WindowListener(StatusView& view, ActivityInd& indicator) : view_(view), indicator_(indicator) {}

    void statusChanged(const StatusChanged& event) override;
    void activityChanged(const ActivityChanged& event) override;
    void progressChanged(const ProgressChanged& event) override;
    void imageChosen(const ImageChosen& event) override;
    void notice(const Notice& event) override;
    void clockChanged(const ClockChanged& event) override;
    void indicatorChanged(const IndicatorChanged& event) override;
    void busyChanged(const BusyChanged& event) override;

  private:
    StatusView& view_;
    ActivityInd& indicator_;
};

}  // namespace tarvel
