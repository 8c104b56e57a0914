#pragma once

#include "platform/EventPump.h"

namespace tarvel {

class QtEventPump : public EventPump {
  public:
    void processPending() override;
    void waitForEvents(double maxSeconds) override;
    void post(std::function<void()> fn) override;
};

}  // namespace tarvel
