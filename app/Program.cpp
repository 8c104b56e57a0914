#include "app/Program.h"

#include "app/ActivityIndWidget.h"
#include "app/LogViewer.h"
#include "app/LoginDialog.h"
#include "central/HistoryForwarder.h"
#include "record/HistoryStore.h"
#include "status/ProgramVersion.h"
#include "update/TrustedKeys.h"

#include <QClipboard>
#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileDialog>
#include <QGuiApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QUrl>

namespace tarvel {

MemoryPropertyBag activityLayoutOfMainWindow() {
    return MemoryPropertyBag(
        {{QStringLiteral("Style"), 3}, {QStringLiteral("ForeColor"), 0x00C00000}});
}

Program::Program(SettingsStore& settings, SerialDevice& serial, QString imageFolder,
                 QString stateFolder)
    : settings_(settings),
      dialogs_(QString::fromLatin1(Form1::kApplicationTitle)),
      log_(stateFolder, programVersionText(), HistoryDestination::from(settings).station,
           forwardingTo(HistoryDestination::from(settings), stateFolder)),
      platform_{{clock_, pump_, settings, dialogs_, serial, timer1_, files_, nullptr,
                 std::move(imageFolder),
                 TrustedKeys::folderFor(settings, QCoreApplication::applicationDirPath()), &log_},
                window_,
                window_,
                *window_.activitySurface(),
                fileChooser_,
                window_,
                *this} {
    dialogs_.setParent(&window_);
    fileChooser_.setParent(&window_);
    form_ = std::make_unique<Form1>(platform_, activityLayoutOfMainWindow());
    window_.activitySurface()->setControl(&form_->Activity1);
    form_->Activity1.Resize();
    window_.onComClicked = [this](int index) { form_->portMenu.com_Click(index); };
    window_.onToolbarClicked = [this](int index) { form_->Toolbar1_ButtonClick(index); };
    window_.onKeyDown = [this](int keyCode) { form_->Form_KeyDown(keyCode); };
    window_.onKeyPress = [this](int charCode) { form_->Form_KeyPress(charCode); };
    window_.onCloseRequested = [this] {
        if (!form_->Form_QueryUnload())
            return false;
        form_->Form_Unload();
        return true;
    };

    // The record of every update and test. The History window reads what the record wrote on
    // a thread of its own.
    log_.onWarning = [this](const QString& warning) { form_->session.warn(warning); };
    log_.onLogOpened = [this](const QString& path) { form_->session.logOpened(path); };
    log_.onHistoryChanged = [this] {
        if (history_ && history_->isVisible())
            history_->refresh();
    };
    form_->session.subscribe(log_);
    window_.onShowLastLog = [this] { showLastLog(); };
    window_.onShowHistory = [this] { showHistory(); };
    window_.onOpenLogFolder = [this] { openLogFolder(); };
}

// The newest log in the history, whichever program or earlier run of this one wrote it.
void Program::showLastLog() {
    HistoryStore history(log_.folder());
    const QString newest = history.open(false) ? history.newestLog() : log_.lastLog();
    if (newest.isEmpty()) {
        dialogs_.messageBox(QStringLiteral("No update or test has left a log yet."), QString(),
                            MessageIcon::Information, MessageButtons::Ok);
        return;
    }
    openLog(newest);
}

void Program::openLog(const QString& path) {
    const QString problem = showLog(path, &window_);
    if (!problem.isEmpty()) {
        dialogs_.messageBox(QStringLiteral("The log %1 cannot be read: %2").arg(path, problem),
                            QString(), MessageIcon::Information, MessageButtons::Ok);
    }
}

// In the desktop's file manager; where none opens it, the path in a box to copy from.
void Program::openLogFolder() {
    const QString folder = QDir::toNativeSeparators(log_.folder() + QStringLiteral("/logs"));
    QDir().mkpath(folder);
    if (openUrl(QUrl::fromLocalFile(folder)))
        return;
    QMessageBox box(
        QMessageBox::Information, QStringLiteral("Log Folder"),
        QStringLiteral("No program here opens folders. The logs are in\n%1").arg(folder),
        QMessageBox::Close, &window_);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QPushButton* copy = box.addButton(QStringLiteral("Copy"), QMessageBox::ActionRole);
    box.setDefaultButton(copy);
    box.exec();
    if (box.clickedButton() == copy)
        QGuiApplication::clipboard()->setText(folder);
}

// One history window, shown again with what was recorded since.
void Program::showHistory() {
    if (!history_) {
        history_ = new HistoryWindow(log_.folder(), settings_, &window_);
        history_->onOpenLog = [this](const QString& path) { openLog(path); };
    }
    history_->show();
    history_->refresh();
    history_->raise();
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
