// The toolbar, the keys and the expert mode of the main window.
#include "platform/Dialogs.h"
#include "platform/PortMenuView.h"
#include "platform/ProgramShell.h"
#include "platform/ToolbarView.h"
#include "window/Form1.h"
#include "window/Keys.h"

namespace tarvel {

void Form1::Toolbar1_ButtonClick(int index) {
    switch (index) {
        case ToolbarView::kAddFile:
            AddBinFile();
            break;
        case ToolbarView::kUpdate:
            runUpdate();
            break;
        case ToolbarView::kExpert:
            expertLogin();
            break;
        case ToolbarView::kExit:
            exitProgram();
            break;
        default:
            break;
    }
}

void Form1::Form_KeyDown(int KeyCode) {
    switch (KeyCode) {
        case keys::kF1:
            // Two exchanges must never share the port: no update inside an update or a test.
            if (session.busy())
                return;
            platform_.engine.dialogs.messageBox(QStringLiteral("F1"), QString(), MessageIcon::None);
            runUpdate();
            break;
        case keys::kF2:
            platform_.engine.dialogs.messageBox(QStringLiteral("F2"), QString(), MessageIcon::None);
            expertLogin();
            break;
        case keys::kEscape:
            exitProgram();
            break;
        default:
            break;
    }
}

void Form1::Form_KeyPress(int KeyAscii) {
    if (KeyAscii != keys::kCtrlT || session.busy())
        return;
    runCommunicationTest();
}

void Form1::runUpdate() {
    if (session.busy())
        return;
    platform_.toolbar.setButtonEnabled(ToolbarView::kUpdate, false);
    // Picking a port would close it under the transfer.
    platform_.portMenu.setMenuEnabled(false);
    session.runUpdate();
    platform_.portMenu.setMenuEnabled(true);
    platform_.toolbar.setButtonEnabled(ToolbarView::kUpdate, true);
}

void Form1::runCommunicationTest() {
    platform_.portMenu.setMenuEnabled(false);
    session.runCommunicationTest();
    platform_.portMenu.setMenuEnabled(true);
}

void Form1::expertLogin() {
    const std::optional<bool> accepted = platform_.shell.showExpertLogin();
    if (!accepted || !*accepted)
        return;
    platform_.toolbar.setButtonVisible(ToolbarView::kAddFile, true);
    platform_.toolbar.setButtonVisible(ToolbarView::kExpert, false);
    ManualFileSelect = true;
}

bool Form1::confirmExitDuringUpdate() {
    if (!session.updating())
        return true;
    // An interrupted update can leave the module without firmware.
    return platform_.engine.dialogs.messageBox(QStringLiteral("An update is running. Exit anyway?"),
                                               QString(), MessageIcon::Question,
                                               MessageButtons::YesNo) == MessageResult::Yes;
}

void Form1::exitProgram() {
    if (exiting_ || !confirmExitDuringUpdate())
        return;
    exiting_ = true;
    session.stop(UpdateSession::StopReason::ProgramExit);
    Form_Unload();
    platform_.shell.endProgram();
}

bool Form1::Form_QueryUnload() {
    if (exiting_)
        return true;
    if (!confirmExitDuringUpdate())
        return false;
    exiting_ = true;
    session.stop(UpdateSession::StopReason::ProgramExit);
    return true;
}

}  // namespace tarvel
