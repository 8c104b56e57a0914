// Start-up and shut-down of the main window: the port scan, the restored port, the ready state
// and the stored port number.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

TEST(Startup, ShowsTheReadyStateAndOffersOnlyThePortsThatOpen) {
    Rig rig;
    rig.load({2, 5});
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_EQ(rig.status.english,
              "To start update procedure turn setup switch to ON and press Update button");
    EXPECT_EQ(rig.status.german,
              "Um den Update-Vorgang zu starten, den Setup-Schalter auf ON stellen und Update "
              "Button drücken");
    EXPECT_EQ(rig.status.percent, "0%");
    EXPECT_EQ(rig.status.elapsed, "0:00:00");
    EXPECT_EQ(rig.status.version, "V1.0.0");
    for (int index = 0; index <= 9; ++index)
        EXPECT_EQ(rig.menu.visible[index], index == 2 || index == 5) << "item " << index;
    EXPECT_EQ(rig.menu.tips[2], Rig::pathOf(2));
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.menu.checkedCount(), 0);
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
    // The indicator keeps the colour of the stored layout until the first ready state.
    EXPECT_EQ(rig.surface.fore, 0x00C00000u);
}

TEST(Startup, NoPortAtAllLeavesOnlyNoComPortsAndSaysSoOnce) {
    Rig rig;
    rig.load({});
    for (int index = 0; index <= 9; ++index)
        EXPECT_EQ(rig.menu.visible[index], index == 0) << "item " << index;
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "No Com Ports available!");
    EXPECT_EQ(rig.dialogs.shown[0].title, "ComPortError");
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::Critical);
    rig.form->portMenu.com_Click(0);
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.status.title, "Ready");
}

TEST(Startup, StoredPortIsOpenedWhenItIsThereAndAnythingElseOpensNothing) {
    struct Row {
        const char* stored;
        int opened;  // 0: none
    };
    const Row rows[] = {{"3", 3},  {"4", 0},   {"0", 0}, {"abc", 0},  {"12", 0},
                        {"-1", 0}, {"3.5", 0}, {"", 0},  {nullptr, 0}};
    for (const Row& row : rows) {
        Rig rig;
        if (row.stored)
            rig.settings.values["Settings/COM-Port"] = row.stored;
        rig.load({1, 3, 9});
        SCOPED_TRACE(row.stored ? row.stored : "nothing stored");
        EXPECT_EQ(rig.serial.openPath(), row.opened ? Rig::pathOf(row.opened) : QString());
        EXPECT_EQ(rig.menu.checkedCount(), row.opened ? 1 : 0);
        if (row.opened) {
            EXPECT_TRUE(rig.menu.checked[row.opened]);
        }
        EXPECT_EQ(rig.status.title, "Ready");
    }
}

TEST(Shutdown, StoresTheOpenPortOrElseTheLastProbed) {
    Rig rig;
    rig.load({2, 4});
    rig.form->portMenu.com_Click(4);
    rig.form->Form_Unload();
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.settings.values.value("Settings/COM-Port"), "4");

    Rig next;
    next.settings.values = rig.settings.values;
    next.load({2, 4});
    EXPECT_EQ(next.serial.openPath(), Rig::pathOf(4));

    Rig none;
    none.load({2});
    none.form->Form_Unload();
    EXPECT_EQ(none.settings.values.value("Settings/COM-Port"), "9");
}

}  // namespace
}  // namespace tarvel::test
