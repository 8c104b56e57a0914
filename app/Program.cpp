#include "app/Program.h"

#include "activity/ActivityIndWidget.h"
#include "app/Version.h"

#include <QAction>

namespace tarvel {

MemoryPropertyBag activityLayoutOfMainWindow() {
    return MemoryPropertyBag(
        {{QStringLiteral("Style"), 3}, {QStringLiteral("ForeColor"), 0x00C00000}});
}

Program::Program(SettingsStore& settings, SerialDevice& serial, QString programFolder)
    : dialogs_(QString::fromLatin1(Form1::kApplicationTitle)),
      platform_{clock_,   pump_,        settings,
                dialogs_, serial,       timer1_,
                window_,  window_,      *window_.activitySurface(),
                files_,   fileChooser_, std::move(programFolder)} {
    dialogs_.setParent(&window_);
    fileChooser_.setParent(&window_);
    form_ = std::make_unique<Form1>(
        platform_, activityLayoutOfMainWindow(),
        versionText(TARVEL_VERSION_MAJOR, TARVEL_VERSION_MINOR, TARVEL_VERSION_PATCH));
    window_.activitySurface()->setControl(&form_->Activity1);
    form_->Activity1.Resize();
    window_.onComClicked = [this](int index) { form_->link.com_Click(index); };
    window_.onToolbarClicked = [this](int index) {
        if (index == MainWindow::kUpdate)
            runUpdate();
    };
    window_.onCloseRequested = [this] {
        shutDown();
        return true;
    };
}

Program::~Program() {
    shutDown();
}

void Program::start() {
    window_.show();
    form_->Form_Load();
}

void Program::runUpdate() {
    QAction* button = window_.toolbarButton(MainWindow::kUpdate);
    button->setEnabled(false);
    form_->updater.StartUpdate();
    button->setEnabled(true);
}

void Program::shutDown() {
    if (unloaded_)
        return;
    unloaded_ = true;
    form_->Form_Unload();
}

}  // namespace tarvel
