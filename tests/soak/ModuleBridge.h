#pragma once

#include "sim/ModuleModel.h"
#include "tests/support/UpdateRig.h"

#include <QList>

namespace tarvel::test {

// Plays a simulated module on the fake serial line of a rig: the host's writes reach the model,
// the model's replies reach the host, its delays run on the rig's virtual clock, and its
// hang-up pulls the adapter out. What the module sent is logged with its time.
class ModuleBridge {
  public:
    ModuleBridge(UpdateRig& rig, sim::ModuleModel& model);

    const QList<HostWrite>& moduleSent() const { return moduleSent_; }

  private:
    QList<HostWrite> moduleSent_;
};

}  // namespace tarvel::test
