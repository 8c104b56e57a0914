#include "app/Program.h"

#include "app/ActivityIndWidget.h"
#include "app/LoginDialog.h"
#include "app/Version.h"

#include <QFileDialog>

namespace tarvel {

MemoryPropertyBag activityLayoutOfMainWindow() {
    return MemoryPropertyBag(
        {{QStringLiteral("Style"), 3}, {QStringLiteral("ForeColor"), 0x00C00000}});
}

Program::Program(SettingsStore& settings, SerialDevice& serial, QString imageFolder)
    : dialogs_(QString::fromLatin1(Form1::kApplicationTitle)),
      platform_{clock_,
                pump_,
                settings,
                dialogs_,
                serial,
                timer1_,
                window_,
                window_,
                *window_.activitySurface(),
                files_,
                fileChooser_,
                window_,
                *this,
                std::move(imageFolder)} {
    dialogs_.setParent(&window_);
    fileChooser_.setParent(&window_);
    form_ = std::make_unique<Form1>(
        platform_, activityLayoutOfMainWindow(),
        versionText(TARVEL_VERSION_MAJOR, TARVEL_VERSION_MINOR, TARVEL_VERSION_PATCH));
    window_.activitySurface()->setControl(&form_->Activity1);
    form_->Activity1.Resize();
    window_.onComClicked = [this](int index) { form_->link.com_Click(index); };
    window_.onToolbarClicked = [this](int index) { form_->Toolbar1_ButtonClick(index); };
    window_.onKeyDown = [this](int keyCode) { form_->Form_KeyDown(keyCode); };
    window_.onKeyPress = [this](int charCode) { form_->Form_KeyPress(charCode); };
    window_.onCloseRequested = [this] {
        if (!form_->Form_QueryUnload())
            return false;
        form_->Form_Unload();
        return true;
    };
}

// Start-up runs before the window appears, as a load step does: its messages come first, and
// the window shows in its ready state.
void Program::start() {
    form_->Form_Load();
    window_.show();
}

std::optional<bool> Program::showExpertLogin() {
    LoginDialog frmLogin(dialogs_, &window_);
    frmLogin.exec();
    return frmLogin.outcome();
}

std::optional<QString> Program::chooseFileToOpen(const QString& title, const QString& filterName,
                                                 const QString& filterPattern,
                                                 const QString& initialName) {
    QFileDialog CommonDialog1(&window_, title);
    CommonDialog1.setFileMode(QFileDialog::ExistingFile);
    CommonDialog1.setNameFilter(QStringLiteral("%1 (%2)").arg(filterName, filterPattern));
    CommonDialog1.setOption(QFileDialog::HideNameFilterDetails);  // "Bin-File", as named
    // A wildcard as the initial name only repeats the filter; Qt's dialog would take it for a
    // file name.
    if (!initialName.contains(QLatin1Char('*')))
        CommonDialog1.selectFile(initialName);
    if (CommonDialog1.exec() != QDialog::Accepted || CommonDialog1.selectedFiles().isEmpty())
        return std::nullopt;
    return CommonDialog1.selectedFiles().constFirst();
}

// Closing the main window ends the program once control is back in its main loop; an update
// that was running has been cancelled and unwinds first.
void Program::endProgram() {
    window_.close();
}

}  // namespace tarvel
