// The technician's controls on fakes: expert login, keys during an exchange, exit, Add File.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Commands : ::testing::Test {
    // Runs action two seconds into an update of an announcing module.
    void duringUpdate(std::function<void()> action) {
        rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(2));
        rig.time.after(2.0, std::move(action));
        rig.form->Toolbar1_ButtonClick(ToolbarView::kUpdate);
    }
    bool succeeded() const {
        return rig.status.titles.contains("Update Successful / Update erfolgreich");
    }
    ModuleRig rig;
};

TEST_F(Commands, OnlyAnAcceptedLoginEntersExpertMode) {
    for (const std::optional<bool> answer : {std::optional<bool>(false), std::optional<bool>()}) {
        rig.shell.loginAnswer = answer;
        rig.form->Toolbar1_ButtonClick(ToolbarView::kExpert);
        EXPECT_FALSE(rig.toolbar.visible[ToolbarView::kAddFile]);
        EXPECT_TRUE(rig.toolbar.visible[ToolbarView::kExpert]);
        EXPECT_FALSE(rig.form->ManualFileSelect);
    }
    rig.shell.loginAnswer = true;
    rig.form->Toolbar1_ButtonClick(ToolbarView::kExpert);
    EXPECT_TRUE(rig.toolbar.visible[ToolbarView::kAddFile]);
    EXPECT_FALSE(rig.toolbar.visible[ToolbarView::kExpert]);
    EXPECT_TRUE(rig.form->ManualFileSelect);
    rig.form->Form_KeyDown(Form1::kKeyF2);  // F2 says so, then logs in, Expert hidden or not
    EXPECT_EQ(rig.shell.logins, 4);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "F2");
    EXPECT_TRUE(rig.dialogs.shown[0].title.isEmpty());  // the application title
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::None);
}

TEST_F(Commands, F1SaysSoThenRunsTheUpdate) {
    rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(1));
    rig.form->Form_KeyDown(Form1::kKeyF1);
    ASSERT_FALSE(rig.dialogs.shown.isEmpty());
    EXPECT_EQ(rig.dialogs.shown[0].text, "F1");
    EXPECT_TRUE(succeeded());
}

TEST_F(Commands, WhileAnUpdateRunsTheButtonAndMenuAreOffAndF1AndCtrlTAreIgnored) {
    bool buttonDuring = true, menuDuring = true;
    duringUpdate([&] {
        buttonDuring = rig.toolbar.enabled[ToolbarView::kUpdate];
        menuDuring = rig.menu.menuEnabled;
        rig.form->Form_KeyDown(Form1::kKeyF1);
        rig.form->Form_KeyPress(Form1::kCtrlT);
    });
    EXPECT_FALSE(buttonDuring);
    EXPECT_FALSE(menuDuring);
    EXPECT_TRUE(rig.toolbar.enabled[ToolbarView::kUpdate]);
    EXPECT_TRUE(rig.menu.menuEnabled);
    EXPECT_EQ(rig.countSent(QByteArray(12, 'X')), 1);
    EXPECT_FALSE(rig.status.activities.contains("Testmode - Waiting for request..."));
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());  // not even the "F1" box
    EXPECT_TRUE(succeeded());
}

TEST_F(Commands, F1DuringACommunicationTestIsIgnored) {
    rig.time.after(1.0, [this] { rig.form->Form_KeyDown(Form1::kKeyF1); });
    rig.form->Form_KeyPress(Form1::kCtrlT);
    EXPECT_TRUE(rig.writes.isEmpty());
    EXPECT_EQ(rig.dialogs.shown.size(), 1);  // only the test's result
}

TEST_F(Commands, ExitDuringAnUpdateAsksAndNoKeepsItRunning) {
    rig.dialogs.answers = {MessageResult::No};
    duringUpdate([this] { rig.form->Form_KeyDown(Form1::kKeyEscape); });
    EXPECT_EQ(rig.dialogs.shown.first().text, "An update is running. Exit anyway?");
    EXPECT_EQ(rig.dialogs.shown.first().buttons, MessageButtons::YesNo);
    EXPECT_EQ(rig.shell.ends, 0);
    EXPECT_TRUE(succeeded());
}

TEST_F(Commands, ExitDuringAnUpdateConfirmedStopsItClosesThePortAndStoresIt) {
    rig.dialogs.answers = {MessageResult::Yes};
    rig.settings.values.remove("Settings/COM-Port");
    duringUpdate([this] { rig.form->Toolbar1_ButtonClick(ToolbarView::kExit); });
    EXPECT_FALSE(succeeded());
    EXPECT_EQ(rig.shell.ends, 1);
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.settings.values.value("Settings/COM-Port"), "1");
    EXPECT_EQ(rig.dialogs.shown.size(), 1);  // the question only, no error box
}

TEST_F(Commands, EscWhenIdleClosesThePortStoresItsNumberAndEnds) {
    rig.form->Form_KeyDown(Form1::kKeyEscape);
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.settings.values.value("Settings/COM-Port"), "1");
    EXPECT_EQ(rig.shell.ends, 1);
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
}

TEST_F(Commands, AddFileCopiesIntoTheImageFolderAskingBeforeItReplaces) {
    const QString destination = Rig::imagePath("DVB-SAT-9.bin");
    struct Row {
        const char* what;
        QString chosen;  // empty: the dialog was cancelled
        QByteArray existing;
        std::deque<MessageResult> answers;
        QByteArray result;  // the destination afterwards
        QString message;    // the start of the one message shown, if any
        double took;
    };
    const QString overwrite = "File already exists! Overwrite?";
    // clang-format off
    const Row rows[] = {
        {"new", "/usb/DVB-SAT-9.bin", {}, {}, "new image", {}, 0},
        {"cancelled", {}, {}, {}, {}, {}, 0},
        {"in place", destination, "old", {}, "old", {}, 0},
        {"kept", "/usb/DVB-SAT-9.bin", "old", {MessageResult::Cancel}, "old", overwrite, 0},
        {"replaced", "/usb/DVB-SAT-9.bin", "old", {MessageResult::Ok}, "new image", overwrite, 0},
        {"same file", "/IMAGES/DVB-SAT-9.bin", "old", {}, "old",
         "/IMAGES/DVB-SAT-9.bin is already in the image folder as\n/images/DVB-SAT-9.bin", 0},
        {"read-only", "/usb/DVB-SAT-9.bin", {}, {}, {},
         "/usb/DVB-SAT-9.bin cannot be copied to\n/images/DVB-SAT-9.bin\nPermission denied", 0},
        {"locked", "/usb/DVB-SAT-9.bin", {}, {}, "new image",
         "/images/DVB-SAT-9.bin was copied but is still in use by another program.", 30},
        {"not a file", "/usb/DVB-SAT-pipe.bin", {}, {}, {},
         "/usb/DVB-SAT-pipe.bin is not a regular file and cannot be an image.", 0},
    };
    // clang-format on
    for (const Row& row : rows) {
        ModuleRig rig;
        rig.files.add("/usb/DVB-SAT-9.bin", "new image");
        rig.files.addFolder("/usb/DVB-SAT-pipe.bin");  // not a regular file, like a pipe
        if (!row.existing.isEmpty())
            rig.files.add(destination, row.existing);
        rig.files.caseInsensitive = QByteArray(row.what) == "same file";
        if (QByteArray(row.what) == "read-only")
            rig.files.readOnlyFolders.insert("/images");
        if (QByteArray(row.what) == "locked")
            rig.files.lockedPaths.insert(destination);
        if (!row.chosen.isEmpty())
            rig.shell.chosenFile = row.chosen;
        rig.dialogs.answers = row.answers;
        rig.form->Toolbar1_ButtonClick(ToolbarView::kAddFile);
        SCOPED_TRACE(row.what);
        EXPECT_EQ(rig.shell.dialogTitle, "Add Bin-File");
        EXPECT_EQ(rig.shell.filter, "Bin-File|*.bin");
        EXPECT_EQ(rig.shell.initial, "*.bin");
        EXPECT_EQ(rig.files.files.value(destination).contents, row.result);
        ASSERT_EQ(rig.dialogs.shown.size(), row.message.isEmpty() ? 0 : 1);
        if (!row.message.isEmpty()) {
            EXPECT_EQ(rig.dialogs.shown[0].text, row.message);
            EXPECT_TRUE(rig.dialogs.shown[0].title.isEmpty());  // the application title
        }
        if (!row.answers.empty()) {
            EXPECT_EQ(rig.dialogs.shown[0].buttons, MessageButtons::OkCancel);
            EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::Question);
        }
        EXPECT_NEAR(rig.time.seconds(), row.took, 0.2);
    }
}

}  // namespace
}  // namespace tarvel::test
