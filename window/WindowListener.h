#pragma once

#include "status/ExchangeEvents.h"

namespace tarvel {

class ActivityInd;
class StatusView;

// The window as a listener of the session: each event shown on the controls it concerns. While an
// error box of an exchange is up, the status says "Error" with the box's text; once an exchange
// has ended, how it ended stays in sight until the next one starts.
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
    void exchangeStarted(const ExchangeStarted& event) override;
    void messageShown(const MessageShown& event) override;
    void exchangeEnded(const ExchangeEnded& event) override;

  private:
    StatusView& view_;
    ActivityInd& indicator_;
    bool running_ = false;
};

}  // namespace tarvel
