// Start-up and shut-down of the main window: the port scan, the restored port, the ready state
// and the stored port number.
#include "tests/support/Rig.h"

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

}  // namespace
}  // namespace tarvel::test
