#include "tests/soak/ModuleBridge.h"

#include <utility>

namespace tarvel::test {

ModuleBridge::ModuleBridge(UpdateRig& rig, sim::ModuleModel& model) {
    model.transmit = [this, &rig](const QByteArray& bytes) {
        moduleSent_.append({rig.time.seconds(), bytes});
        rig.serial.deliver(bytes);
    };
    model.schedule = [&rig](double delaySeconds, std::function<void()> action) {
        rig.time.after(delaySeconds, std::move(action));
    };
    model.hangUp = [&rig] { rig.serial.vanish(QStringLiteral("the module hung up")); };
    rig.module = [&model](const QByteArray& bytes) { model.receive(bytes); };
}

}  // namespace tarvel::test
