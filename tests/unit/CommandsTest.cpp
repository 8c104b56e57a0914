// The technician's controls on fakes: expert login, keys during an exchange, exit, Add File.
#include "tests/support/UpdateRig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Commands : ::testing::Test {
    // An announcing module whose update takes a while.
    void slowModule() {
        rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(2));
        rig.module = [this, data = 0](const QByteArray& bytes) mutable {
            if (bytes == QByteArray(12, 'X'))
                rig.reply("UP");
            else if (bytes.size() == 3 && bytes.startsWith("OK"))
                rig.reply("OK", 0.5);
            else if ((data += bytes.size()) % 65536 == 0)
                rig.reply(data == 2 * 65536 ? "EN" : "OK", 0.5);
        };
    }
    // Runs action once the update is under way, then the update itself.
    void duringUpdate(std::function<void()> action) {
        slowModule();
        rig.time.after(2.0, std::move(action));
        rig.form->Toolbar1_ButtonClick(ToolbarView::kUpdate);
    }
    UpdateRig rig;
};

TEST_F(Commands, GoodLoginShowsAddFileHidesExpertAndEntersExpertMode) {
    rig.shell.loginAnswer = true;
    rig.form->Toolbar1_ButtonClick(ToolbarView::kExpert);
    EXPECT_TRUE(rig.toolbar.visible[ToolbarView::kAddFile]);
    EXPECT_FALSE(rig.toolbar.visible[ToolbarView::kExpert]);
    EXPECT_TRUE(rig.form->ManualFileSelect);
    EXPECT_TRUE(rig.form->LoginSucceeded);
}

TEST_F(Commands, CancelledOrClosedLoginChangesNothing) {
    for (std::optional<bool> answer : {std::optional<bool>(false), std::optional<bool>()}) {
        rig.shell.loginAnswer = answer;
        rig.form->Toolbar1_ButtonClick(ToolbarView::kExpert);
        EXPECT_FALSE(rig.toolbar.visible[ToolbarView::kAddFile]);
        EXPECT_TRUE(rig.toolbar.visible[ToolbarView::kExpert]);
        EXPECT_FALSE(rig.form->ManualFileSelect);
    }
}

TEST_F(Commands, F2SaysSoThenLogsInEvenWithExpertHidden) {
    rig.shell.loginAnswer = true;
    rig.form->Form_KeyDown(Form1::kKeyF2);
    rig.form->Form_KeyDown(Form1::kKeyF2);
    EXPECT_EQ(rig.shell.logins, 2);
    ASSERT_EQ(rig.dialogs.shown.size(), 2);
    EXPECT_EQ(rig.dialogs.shown[0].text, "F2");
    EXPECT_TRUE(rig.dialogs.shown[0].title.isEmpty());  // the application title
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::None);
}

TEST_F(Commands, UpdateButtonIsDisabledAndPortMenuOffWhileTheUpdateRuns) {
    bool buttonDuring = true, menuDuring = true;
    duringUpdate([&] {
        buttonDuring = rig.toolbar.enabled[ToolbarView::kUpdate];
        menuDuring = rig.menu.menuEnabled;
    });
    EXPECT_FALSE(buttonDuring);
    EXPECT_FALSE(menuDuring);
    EXPECT_TRUE(rig.toolbar.enabled[ToolbarView::kUpdate]);
    EXPECT_TRUE(rig.menu.menuEnabled);
    EXPECT_EQ(rig.status.title, "Ready");
}

TEST_F(Commands, F1AndCtrlTDuringAnUpdateAreIgnored) {
    duringUpdate([this] {
        rig.form->Form_KeyDown(Form1::kKeyF1);
        rig.form->Form_KeyPress(Form1::kCtrlT);
    });
    EXPECT_EQ(rig.countSent(QByteArray(12, 'X')), 1);
    EXPECT_FALSE(rig.status.activities.contains("Testmode - Waiting for request..."));
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());  // not even the "F1" box
}

TEST_F(Commands, F1DuringACommunicationTestIsIgnored) {
    rig.time.after(1.0, [this] { rig.form->Form_KeyDown(Form1::kKeyF1); });
    rig.form->Form_KeyPress(Form1::kCtrlT);
    EXPECT_TRUE(rig.writes.isEmpty());
    EXPECT_EQ(rig.dialogs.shown.size(), 1);  // only the test's result
}

TEST_F(Commands, F1SaysSoThenRunsTheUpdate) {
    slowModule();
    rig.form->Form_KeyDown(Form1::kKeyF1);
    EXPECT_EQ(rig.dialogs.shown.first().text, "F1");
    EXPECT_TRUE(rig.status.titles.contains("Update Successful / Update erfolgreich"));
}

TEST_F(Commands, ExitDuringAnUpdateAsksAndNoKeepsItRunning) {
    rig.dialogs.answers = {MessageResult::No};
    duringUpdate([this] { rig.form->Form_KeyDown(Form1::kKeyEscape); });
    EXPECT_EQ(rig.dialogs.shown.first().text, "An update is running. Exit anyway?");
    EXPECT_EQ(rig.dialogs.shown.first().buttons, MessageButtons::YesNo);
    EXPECT_EQ(rig.shell.ends, 0);
    EXPECT_TRUE(rig.status.titles.contains("Update Successful / Update erfolgreich"));
}

TEST_F(Commands, ExitDuringAnUpdateConfirmedStopsItAndEnds) {
    rig.dialogs.answers = {MessageResult::Yes};
    rig.settings.values.remove("Settings/COM-Port");
    UpdateOutcome outcome = UpdateOutcome::Success;
    slowModule();
    rig.time.after(2.0, [this] { rig.form->Toolbar1_ButtonClick(ToolbarView::kExit); });
    outcome = rig.updater().StartUpdate();
    EXPECT_EQ(outcome, UpdateOutcome::Cancelled);
    EXPECT_EQ(rig.shell.ends, 1);
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.settings.values.value("Settings/COM-Port"), "1");
    EXPECT_EQ(rig.dialogs.shown.size(), 1);  // the question only, no error box
}

TEST_F(Commands, EscWithAPortOpenClosesItStoresItsNumberAndEnds) {
    rig.form->Form_KeyDown(Form1::kKeyEscape);
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.settings.values.value("Settings/COM-Port"), "1");
    EXPECT_EQ(rig.shell.ends, 1);
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
    EXPECT_TRUE(rig.form->Form_QueryUnload());
}

struct AddFile : Commands {
    void SetUp() override {
        rig.files.add("/usb/DVB-SAT-9.bin", "new image", 500);
        rig.shell.chosenFile = "/usb/DVB-SAT-9.bin";
    }
    void add() { rig.form->Toolbar1_ButtonClick(ToolbarView::kAddFile); }
};

TEST_F(AddFile, CopiesIntoTheProgramFolderWithTheDialogAsSpecified) {
    add();
    EXPECT_EQ(rig.shell.dialogTitle, "Add Bin-File");
    EXPECT_EQ(rig.shell.filter, "Bin-File|*.bin");
    EXPECT_EQ(rig.shell.initial, "*.bin");
    EXPECT_EQ(rig.files.files.value(Rig::imagePath("DVB-SAT-9.bin")).contents, "new image");
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
}

TEST_F(AddFile, CancelledDialogDoesNothing) {
    rig.shell.chosenFile.reset();
    add();
    EXPECT_TRUE(rig.files.copies.isEmpty());
}

TEST_F(AddFile, FileAlreadyInPlaceIsLeftAlone) {
    rig.files.add(Rig::imagePath("DVB-SAT-9.bin"), "old", 100);
    rig.shell.chosenFile = Rig::imagePath("DVB-SAT-9.bin");
    add();
    EXPECT_TRUE(rig.files.copies.isEmpty());
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
}

TEST_F(AddFile, ExistingFileIsOverwrittenOnlyAfterOk) {
    rig.files.add(Rig::imagePath("DVB-SAT-9.bin"), "old", 100);
    rig.dialogs.answers = {MessageResult::Cancel};
    add();
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "File already exists! Overwrite?");
    EXPECT_EQ(rig.dialogs.shown[0].buttons, MessageButtons::OkCancel);
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::Question);
    EXPECT_EQ(rig.files.files.value(Rig::imagePath("DVB-SAT-9.bin")).contents, "old");

    rig.dialogs.answers = {MessageResult::Ok};
    add();
    EXPECT_EQ(rig.files.files.value(Rig::imagePath("DVB-SAT-9.bin")).contents, "new image");
}

TEST_F(AddFile, SameFileUnderAnotherLetterCaseIsNotCopiedOntoItself) {
    rig.files.caseInsensitive = true;
    rig.files.add(Rig::imagePath("DVB-SAT-9.bin"), "image", 100);
    rig.shell.chosenFile = "/IMAGES/DVB-SAT-9.bin";  // the program folder, spelt differently
    add();
    EXPECT_TRUE(rig.files.copies.isEmpty());
    EXPECT_EQ(rig.files.files.value(Rig::imagePath("DVB-SAT-9.bin")).contents, "image");
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("already in the image folder"));
}

TEST_F(AddFile, FailingCopyIsReportedAndTheProgramGoesOn) {
    rig.files.readOnlyFolders.insert("/images");
    add();
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("cannot be copied"));
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("Permission denied"));
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::Critical);
}

TEST_F(AddFile, LockedCopyIsWaitedForThenGivenUpAfterThirtySeconds) {
    rig.files.lockedPaths.insert(Rig::imagePath("DVB-SAT-9.bin"));
    const double start = rig.time.seconds();
    add();
    EXPECT_NEAR(rig.time.seconds() - start, 30.0, 0.2);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("still in use"));
    EXPECT_GT(rig.files.freeChecks, 100);
}

}  // namespace
}  // namespace tarvel::test
