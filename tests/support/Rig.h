#pragma once

#include "app/Form1.h"
#include "platform/PropertyBag.h"
#include "tests/support/FakeFileSystem.h"
#include "tests/support/FakeSerialDevice.h"
#include "tests/support/Fakes.h"
#include "tests/support/VirtualTime.h"

#include <memory>

namespace tarvel::test {

// The main window's logic on fakes: virtual time, a scripted serial line, recorded views.
// Ports 1 to 9 map to /dev/fake<n>; a test makes some of them present.
struct Rig {
    Rig();

    // Ports that can be opened, then start-up.
    void load(std::initializer_list<int> presentPorts = {});
    static QString pathOf(int port) { return QStringLiteral("/dev/fake%1").arg(port); }
    static QString imagePath(const QString& name) { return QStringLiteral("/images/") + name; }
    Updater& updater() { return form->updater; }
    QByteArray& received() { return form->link.ReceiveBuffer; }

    VirtualTime time;
    VirtualTimer timer1{time};
    MemorySettingsStore settings;
    FakeDialogs dialogs;
    FakeSerialDevice serial{time};
    FakeStatusView status;
    FakePortMenu menu;
    FakeSurface surface;
    FakeFileSystem files;
    FakeFileChooser chooser;
    FakeToolbar toolbar;
    FakeShell shell;
    Platform platform{time, time,    settings, dialogs, serial,  timer1, status,
                      menu, surface, files,    chooser, toolbar, shell,  QStringLiteral("/images")};
    MemoryPropertyBag layout{
        {{QStringLiteral("Style"), 3}, {QStringLiteral("ForeColor"), 0x00C00000}}};
    std::unique_ptr<Form1> form;
};

}  // namespace tarvel::test
