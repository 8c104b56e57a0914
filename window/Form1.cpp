#include "window/Form1.h"

#include "platform/Dialogs.h"
#include "platform/PropertyBag.h"
#include "platform/SettingsStore.h"
#include "platform/StatusView.h"
#include "status/ProgramVersion.h"
#include "status/StatusTexts.h"

namespace tarvel {

namespace {
const QString kSettingsSection = QStringLiteral("Settings");
const QString kComPortKey = QStringLiteral("COM-Port");
}  // namespace

namespace {
// The engine's services with this window as the expert's chooser.
EngineServices choosingIn(const EngineServices& services, ImageChooser* chooser) {
    EngineServices withChooser = services;
    withChooser.chooser = chooser;
    return withChooser;
}
}  // namespace

Form1::Form1(Platform& platform, const PropertyBag& activityLayout)
    : Activity1(platform.activitySurface),
      session(choosingIn(platform.engine, this)),
      portMenu(session, platform.portMenu, platform.engine.dialogs),
      platform_(platform),
      shown_(platform.status, Activity1) {
    Activity1.ReadProperties(activityLayout);
    session.subscribe(shown_);
}

void Form1::Form_Load() {
    platform_.status.setVersionText(programVersionText());
    session.status().ResetElapsedTime();
    ManualFileSelect = false;
    portMenu.ScanComPorts();
    session.link().replies().discard();
    // With no saved port (0) the probe tests the port the scan left (9) and com_Click ignores
    // index 0, so nothing is opened.
    if (session.link().PortTest(savedPort()))
        portMenu.com_Click(savedPort());
    StatusDisplay& status = session.status();
    status.ShowStatus(texts::readyWord(), std::nullopt, texts::readyEnglish(),
                      texts::readyGerman());
    status.showProgress(0, status.progressMaximum(), QStringLiteral("0%"));
}

void Form1::Form_Unload() {
    session.closePort();
    platform_.engine.settings.setValue(kSettingsSection, kComPortKey,
                                       QString::number(session.link().MSComm1.CommPort()));
}

std::optional<int> Form1::choose(const QList<FileChoice>& choices) {
    return platform_.fileChooser.choose(choices);
}

bool Form1::allowOlderRelease(const QString& path, const QString& why) {
    const QString question =
        QStringLiteral(
            "The approved list\n%1\nis older than one this station has already used: "
            "%2.\n\nUse this older list for this one update?")
            .arg(path, why);
    return platform_.engine.dialogs.messageBox(question, QStringLiteral("Older release"),
                                               MessageIcon::Question,
                                               MessageButtons::YesNo) == MessageResult::Yes;
}

int Form1::savedPort() const {
    bool ok = false;
    const int port =
        platform_.engine.settings.value(kSettingsSection, kComPortKey, QStringLiteral("0"))
            .toInt(&ok);
    return ok && port >= 0 && port <= SerialLink::kLastPort ? port : 0;
}

}  // namespace tarvel
