#pragma once

#include "platform/PropertyBag.h"
#include "sim/ModuleModel.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/Fakes.h"
#include "tests/support/VirtualTime.h"
#include "tests/support/Wire.h"
#include "window/Form1.h"

#include <memory>

namespace tarvel::test {

// The main window's logic on fakes: virtual time, a fake serial line, recorded views. Ports 1
// to 9 map to /dev/fake<n>, of which a test makes some present; the images lie in /images.
struct Rig {
    Rig();

    // Ports that can be opened, then start-up.
    void load(std::initializer_list<int> presentPorts = {});
    static QString pathOf(int port) { return QStringLiteral("/dev/fake%1").arg(port); }
    static QString imagePath(const QString& name) { return QStringLiteral("/images/") + name; }
    Updater& updater() { return form->session.updater(); }
    StatusDisplay& display() { return form->session.status(); }
    UpdateSession& session() { return form->session; }

    VirtualTime time;
    VirtualTimer timer1{time};
    MemorySettingsStore settings;
    FakeDialogs dialogs;
    FakeSerialDevice serial{time};
    FakeStatusView status{time};
    FakePortMenu menu;
    FakeSurface surface;
    FakeFileSystem files;
    FakeFileChooser chooser;
    FakeToolbar toolbar;
    FakeShell shell;
    Platform platform{
        {time, time, settings, dialogs, serial, timer1, files, nullptr, QStringLiteral("/images")},
        status,
        menu,
        surface,
        chooser,
        toolbar,
        shell};
    // The stored layout of the main window's indicator.
    MemoryPropertyBag layout{
        {{QStringLiteral("Style"), 3}, {QStringLiteral("ForeColor"), 0x00C00000}}};
    std::unique_ptr<Form1> form;
};

// The update's phases on a rig's line, display, clock and files, for the tests of one phase at a
// time.
struct Phases {
    explicit Phases(Rig& rig);

    UpdateContext update;
    FirmwareLookup lookup;
    Recovery recovery;
    RequestTransfer request;
    AckTransfer ack;
};

struct HostWrite {
    double at;
    QByteArray bytes;
};

// Com1 open to a module played by the simulator's own module model on the rig's clock. Every
// write of the host is logged; intercept may answer a write itself (returning true) instead of
// the module, for a fault the model does not play.
struct ModuleRig : Rig {
    // The port Com1 leads to the module; pickedPort: the port the technician picked (none: none).
    explicit ModuleRig(sim::ModuleConfig config = {}, std::optional<int> pickedPort = 1);

    void reply(const QByteArray& bytes, double delay = 0.005) { serial.deliver(bytes, delay); }
    QList<QByteArray> sent() const;
    int countSent(const QByteArray& bytes) const;
    double sentAt(const QByteArray& bytes, int occurrence = 0) const;

    // Puts the image into the image folder and makes it the update's image.
    void useImage(const QString& name, const QByteArray& image);
    // The phases, built on first use.
    Phases& phases();

    QString image;  // the path useImage() put the image at

    sim::ModuleModel module;
    std::function<bool(const QByteArray& bytes)> intercept;
    QList<HostWrite> writes;
    QList<HostWrite> replies;  // what the module sent, and when

  private:
    std::unique_ptr<Phases> phases_;
};

sim::ModuleConfig probedModule(const QByteArray& type);
sim::ModuleConfig announcingModule(const QByteArray& announcement = "UP");

}  // namespace tarvel::test
