// The main window's logic on fakes: start-up with the port scan, the restored port and the ready
// state; the expert login, the keys, exit with the stored port number, and Add File.
#include "status/StatusTexts.h"
#include "tests/support/Rig.h"
#include "window/Keys.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// The menu offers the ports that open, or "No Com Ports" and says so once; the stored port is
// opened when it is among them, anything else opens nothing; then the ready state.
TEST(Startup, OffersThePortsThatOpenOpensTheStoredOneAndShowsTheReadyState) {
    struct Row {
        const char* stored;  // nullptr: nothing stored
        QList<int> present;
        int opened;  // 0: none
    };
    const Row rows[] = {{"3", {1, 3, 9}, 3}, {"4", {1, 3, 9}, 0}, {"0", {1, 3, 9}, 0},
                        {"abc", {2, 5}, 0},  {"12", {3}, 0},      {"-1", {1, 3, 9}, 0},
                        {"3.5", {3}, 0},     {"", {1, 3, 9}, 0},  {nullptr, {1, 3, 9}, 0},
                        {"3", {}, 0}};
    for (const Row& row : rows) {
        Rig rig;
        if (row.stored)
            rig.settings.values["Settings/COM-Port"] = row.stored;
        for (int port : row.present)
            rig.serial.presentPaths.insert(Rig::pathOf(port));
        rig.load();
        rig.form->portMenu.com_Click(0);  // "No Com Ports" opens nothing
        SCOPED_TRACE(row.stored ? row.stored : "nothing stored");
        for (int index = 0; index <= 9; ++index) {
            EXPECT_EQ(rig.menu.visible[index],
                      row.present.contains(index) || (index == 0 && row.present.isEmpty()));
            EXPECT_EQ(rig.menu.checked[index], index == row.opened && row.opened > 0);
        }
        EXPECT_EQ(rig.menu.tips[2], Rig::pathOf(2));
        EXPECT_EQ(rig.serial.openPath(), row.opened ? Rig::pathOf(row.opened) : QString());
        EXPECT_EQ(rig.status.statuses.last(), kReadyStatus);
        EXPECT_EQ(rig.status.percent + rig.status.elapsed + rig.status.version, "0%0:00:00V1.0.0");
        EXPECT_EQ(
            rig.dialogs.shown,
            (row.present.isEmpty() ? QList{ShownMessage{"No Com Ports available!", "ComPortError",
                                                        MessageIcon::Critical}}
                                   : QList<ShownMessage>{}));
    }
}

TEST(Shutdown, StoresTheOpenPortOrElseTheLastProbed) {
    Rig rig;
    rig.load({2, 4});
    rig.form->portMenu.com_Click(4);
    rig.form->Form_Unload();
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.settings.values.value("Settings/COM-Port"), "4");

    Rig none;
    none.load({2});
    none.form->Form_Unload();
    EXPECT_EQ(none.settings.values.value("Settings/COM-Port"), "9");
}

TEST(Expert, OnlyAnAcceptedLoginEntersExpertMode) {
    ModuleRig rig;
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
    rig.form->Form_KeyDown(keys::kF2);  // F2 says so, then logs in, Expert hidden or not
    EXPECT_EQ(rig.shell.logins, 4);
    EXPECT_EQ(rig.dialogs.shown, (QList{ShownMessage{"F2", "", MessageIcon::None}}));
}

// An approved list older than one already used goes through only on the expert's Yes to a
// question that names the list and both dates.
TEST(Expert, AnOlderListGoesThroughOnlyOnYes) {
    for (const MessageResult answer : {MessageResult::Yes, MessageResult::No}) {
        ModuleRig rig;
        rig.dialogs.answers = {answer};
        EXPECT_EQ(rig.form->allowOlderRelease("/srv/SHA256SUMS", "it was signed A, before B"),
                  answer == MessageResult::Yes);
        EXPECT_EQ(
            rig.dialogs.shown,
            (QList{ShownMessage{"The approved list\n/srv/SHA256SUMS\nis older than one this "
                                "station has already used: it was signed A, before B.\n\n"
                                "Use this older list for this one update?",
                                "Older release", MessageIcon::Question, MessageButtons::YesNo}}));
    }
}

// Exit by Esc or the toolbar: when idle at once; during an update only after Yes to the question,
// and then without an error box. Either way the port is closed and its number stored. No keeps
// the update running, and the controls come back when it ends.
TEST(Exit, AsksOnlyDuringAnUpdateClosesThePortAndStoresIt) {
    const ShownMessage question{"An update is running. Exit anyway?", "", MessageIcon::Question,
                                MessageButtons::YesNo};
    struct Row {
        bool duringUpdate;
        bool byKey;  // Esc, or else the toolbar's Exit
        std::deque<MessageResult> answers;
        bool ends;
    };
    const Row rows[] = {{false, true, {}, true},
                        {true, true, {MessageResult::No}, false},
                        {true, false, {MessageResult::Yes}, true}};
    for (const Row& row : rows) {
        ModuleRig rig;
        rig.settings.values.remove("Settings/COM-Port");
        rig.dialogs.answers = row.answers;
        const auto exit = [&] {
            row.byKey ? rig.form->Form_KeyDown(keys::kEscape)
                      : rig.form->Toolbar1_ButtonClick(ToolbarView::kExit);
        };
        if (row.duringUpdate) {
            rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(2));
            rig.time.after(2.0, exit);
            rig.form->Toolbar1_ButtonClick(ToolbarView::kUpdate);
        } else {
            exit();
        }
        EXPECT_EQ(rig.dialogs.shown, row.duringUpdate ? QList{question} : QList<ShownMessage>{});
        EXPECT_EQ(rig.shell.ends, row.ends ? 1 : 0);
        EXPECT_EQ(rig.serial.isOpen(), !row.ends);
        EXPECT_EQ(rig.settings.values.value("Settings/COM-Port"), row.ends ? "1" : "");
        EXPECT_EQ(rig.status.titles.contains("Update Successful / Update erfolgreich"),
                  row.duringUpdate && !row.ends);
        EXPECT_TRUE(rig.toolbar.enabled[ToolbarView::kUpdate] && rig.menu.menuEnabled);
    }
}

TEST(AddFile, CopiesIntoTheImageFolderAskingBeforeItReplaces) {
    const QString destination = Rig::imagePath("DVB-SAT-9.bin");
    struct Row {
        const char* what;
        QString chosen;  // empty: the dialog was cancelled
        QByteArray existing;
        std::deque<MessageResult> answers;
        QByteArray result;  // the destination afterwards
        QList<ShownMessage> shown;
        double took;
    };
    const auto box = [](const QString& text, MessageIcon icon) {
        return QList{ShownMessage{text, "", icon}};
    };
    const QList<ShownMessage> overwrite{
        {"File already exists! Overwrite?", "", MessageIcon::Question, MessageButtons::OkCancel}};
    const auto info = MessageIcon::Information, critical = MessageIcon::Critical;
    // clang-format off
    const Row rows[] = {
        {"new", "/usb/DVB-SAT-9.bin", {}, {}, "new image", {}, 0},
        {"cancelled", {}, {}, {}, {}, {}, 0},
        {"in place", destination, "old", {}, "old", {}, 0},
        {"kept", "/usb/DVB-SAT-9.bin", "old", {MessageResult::Cancel}, "old", overwrite, 0},
        {"replaced", "/usb/DVB-SAT-9.bin", "old", {MessageResult::Ok}, "new image", overwrite, 0},
        {"same file", "/IMAGES/DVB-SAT-9.bin", "old", {}, "old", box("/IMAGES/DVB-SAT-9.bin is "
         "already in the image folder as\n/images/DVB-SAT-9.bin", info), 0},
        {"read-only", "/usb/DVB-SAT-9.bin", {}, {}, {}, box("/usb/DVB-SAT-9.bin cannot be copied "
         "to\n/images/DVB-SAT-9.bin\nPermission denied", critical), 0},
        {"locked", "/usb/DVB-SAT-9.bin", {}, {}, "new image", box("/images/DVB-SAT-9.bin was "
         "copied but is still in use by another program.", info), 30},
        {"not a file", "/usb/DVB-SAT-pipe.bin", {}, {}, {}, box("/usb/DVB-SAT-pipe.bin is not a "
         "regular file and cannot be an image.", critical), 0},
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
        EXPECT_EQ((QStringList{rig.shell.dialogTitle, rig.shell.filter, rig.shell.initial}),
                  (QStringList{"Add Bin-File", "Bin-File|*.bin", "*.bin"}));
        EXPECT_EQ(rig.files.files.value(destination).contents, row.result);
        EXPECT_EQ(rig.dialogs.shown, row.shown);
        EXPECT_NEAR(rig.time.seconds(), row.took, 0.2);
    }
}

}  // namespace
}  // namespace tarvel::test

namespace tarvel::test {
namespace {

// The main screen says what happened: the chosen port and what became of it; "Error" and the
// box's words while an error box is up, not "Running", and the box's reason where the last
// outcome stands; how the last update ended, in both languages at the time the clock stopped,
// until the next starts; and no image in the file field after an update that found none.
TEST(MainScreen, SaysWhatHappenedUntilTheNextExchange) {
    ModuleRig rig({}, std::nullopt);
    EXPECT_EQ(rig.menu.chosenPort, "No port");
    rig.form->portMenu.com_Click(1);
    EXPECT_EQ(rig.menu.chosenPort, "Com1 (/dev/fake1)");
    rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(1));

    ASSERT_EQ(rig.session().runUpdate(), EngineOutcome::Success);
    EXPECT_EQ(rig.status.elapsed, "0:00:01");
    EXPECT_EQ(rig.status.lastOutcome, "Last update successful in 0:00:01.");
    EXPECT_EQ(rig.status.lastOutcomeGerman, "Letztes Update erfolgreich in 0:00:01.");
    EXPECT_EQ(rig.status.lastOutcomeColor, kGreen);
    EXPECT_EQ(rig.status.fileName, Rig::imagePath("DVB-GEN-1.bin"));

    rig.serial.vanish();
    EXPECT_EQ(rig.menu.chosenPort, "Com1 (/dev/fake1): lost");
    rig.serial.presentPaths.insert(Rig::pathOf(1));  // plugged in again: Update opens it
    rig.files.files.remove(Rig::imagePath("DVB-GEN-1.bin"));
    QString titleDuringBox, lastOutcomeDuringUpdate = "?";
    rig.dialogs.whileShown = [&] {
        titleDuringBox = rig.status.title + " | " + rig.status.english;
        lastOutcomeDuringUpdate = rig.status.lastOutcome;
    };
    ASSERT_EQ(rig.session().runUpdate(), EngineOutcome::NoImage);
    EXPECT_EQ(rig.menu.chosenPort, "Com1 (/dev/fake1)");
    EXPECT_EQ(titleDuringBox, "Error | No firmware image DVB-GEN*.bin was found in /images");
    EXPECT_EQ(lastOutcomeDuringUpdate,
              "No firmware image for this module in the image folder. Add the module's image, "
              "then update again.");
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_EQ(rig.status.lastOutcome,
              "Last update failed after 0:00:00: No firmware image for this module in the image "
              "folder. Add the module's image, then update again.");
    EXPECT_EQ(rig.status.lastOutcomeGerman,
              "Letztes Update nach 0:00:00 fehlgeschlagen: Kein Firmware-Image für dieses Modul "
              "im Image-Ordner. Image des Moduls hinzufügen, dann erneut updaten.");
    EXPECT_EQ(rig.status.lastOutcomeColor, kRed);
    EXPECT_EQ(rig.status.fileName, "");
}

}  // namespace
}  // namespace tarvel::test
