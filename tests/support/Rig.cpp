#include "tests/support/Rig.h"

namespace tarvel::test {

Rig::Rig() {
    files.addFolder(QStringLiteral("/images"));
    for (int port = 1; port <= 9; ++port)
        settings.values.insert(QStringLiteral("Ports/COM%1").arg(port), pathOf(port));
}

void Rig::load(std::initializer_list<int> presentPorts) {
    for (int port : presentPorts)
        serial.presentPaths.insert(pathOf(port));
    form = std::make_unique<Form1>(platform, layout);
    form->Activity1.Resize();
    form->Form_Load();
}

Phases::Phases(Rig& rig)
    : update(rig.session().link().replies(), rig.display(), rig.time, rig.files),
      lookup(update, rig.files, rig.settings, rig.form.get(), QStringLiteral("/images")),
      recovery(update),
      request(update),
      ack(update, recovery) {}

ModuleRig::ModuleRig(sim::ModuleConfig config, std::optional<int> pickedPort)
    : module(std::move(config)) {
    load({1});
    if (pickedPort)
        form->portMenu.com_Click(*pickedPort);
    module.transmit = [this](const QByteArray& bytes) {
        replies.append({time.seconds(), bytes});
        serial.deliver(bytes);
    };
    module.schedule = [this](double delay, std::function<void()> action) {
        time.after(delay, std::move(action));
    };
    module.hangUp = [this] { serial.vanish(); };
    // An update still running after an hour of virtual time would never end: stop it, and let
    // the test fail on its outcome instead of hanging.
    time.at(3600, [this] { updater().cancel(); });
    serial.peer = [this](const QByteArray& bytes) {
        writes.append({time.seconds(), bytes});
        if (!intercept || !intercept(bytes))
            module.receive(bytes);
    };
}

QList<QByteArray> ModuleRig::sent() const {
    QList<QByteArray> result;
    for (const HostWrite& write : writes)
        result << write.bytes;
    return result;
}

int ModuleRig::countSent(const QByteArray& bytes) const {
    return static_cast<int>(sent().count(bytes));
}

void ModuleRig::useImage(const QString& name, const QByteArray& image) {
    files.add(imagePath(name), image);
    this->image = imagePath(name);
}

Phases& ModuleRig::phases() {
    if (!phases_)
        phases_ = std::make_unique<Phases>(*this);
    return *phases_;
}

double ModuleRig::sentAt(const QByteArray& bytes, int occurrence) const {
    for (const HostWrite& write : writes) {
        if (write.bytes == bytes && occurrence-- == 0)
            return write.at;
    }
    return -1;
}

sim::ModuleConfig probedModule(const QByteArray& type) {
    sim::ModuleConfig config;
    config.kind = sim::ModuleConfig::Kind::Probed;
    config.type = type;
    return config;
}

sim::ModuleConfig announcingModule(const QByteArray& announcement) {
    sim::ModuleConfig config;
    config.announcement = announcement;
    return config;
}

}  // namespace tarvel::test
