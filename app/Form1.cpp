#include "app/Form1.h"

#include "platform/PropertyBag.h"
#include "platform/SettingsStore.h"
#include "platform/StatusView.h"
#include "status/StatusTexts.h"

namespace tarvel {

namespace {
const QString kSettingsSection = QStringLiteral("Settings");
const QString kComPortKey = QStringLiteral("COM-Port");
}  // namespace

QString versionText(int major, int minor, int revision) {
    return QStringLiteral("V%1.%2.%3").arg(major).arg(minor).arg(revision);
}

Form1::Form1(Platform& platform, const PropertyBag& activityLayout, QString versionText)
    : Activity1(platform.activitySurface),
      status(platform.status, platform.clock, platform.timer1, Activity1),
      link(platform.serial, platform.clock, platform.pump, platform.portMenu, platform.dialogs,
           platform.settings),
      updater({link, status, Activity1, platform.clock, platform.pump, platform.dialogs,
               platform.files, platform.fileChooser},
              platform.imageFolder, ManualFileSelect),
      comTest(link, status, platform.dialogs, platform.clock, platform.pump),
      platform_(platform),
      versionText_(std::move(versionText)) {
    Activity1.ReadProperties(activityLayout);
    link.onSlowAdapter = [this](const QString& hint) { status.ShowActivity(hint); };
}

void Form1::Form_Load() {
    platform_.status.setVersionText(versionText_);
    status.ElapsedMillis = 0;
    platform_.status.setElapsedText(QStringLiteral("0:00:00"));
    ComTestBusy = false;
    ManualFileSelect = false;
    link.ScanComPorts();
    link.ReceiveBuffer.clear();
    // With no saved port (0) the probe tests the port the scan left (9) and com_Click ignores
    // index 0, so nothing is opened.
    if (link.PortTest(savedPort()))
        link.com_Click(savedPort());
    status.ShowStatus(texts::readyWord(), std::nullopt, texts::readyEnglish(),
                      texts::readyGerman());
    status.showPercent(QStringLiteral("0%"));
}

void Form1::Form_Unload() {
    if (link.MSComm1.PortOpen())
        link.MSComm1.setPortOpen(false);
    updater.closeImageFile();
    platform_.settings.setValue(kSettingsSection, kComPortKey,
                                QString::number(link.MSComm1.CommPort()));
}

int Form1::savedPort() const {
    bool ok = false;
    const int port =
        platform_.settings.value(kSettingsSection, kComPortKey, QStringLiteral("0")).toInt(&ok);
    return ok && port >= 0 && port <= SerialLink::kLastPort ? port : 0;
}

}  // namespace tarvel
