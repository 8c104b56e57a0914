// Start-up and shut-down of the main window: the port scan, the restored port, the ready state
// and the stored port number.
#include "status/StatusTexts.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

QString storedPort(const Rig& rig) {
    return rig.settings.values.value("Settings/COM-Port");
}

TEST(Startup, FirstStartShowsReadyStateWithNoPortOpen) {
    Rig rig;
    rig.load({2, 5});
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_EQ(rig.status.english, texts::readyEnglish());
    EXPECT_EQ(rig.status.german, texts::readyGerman());
    EXPECT_EQ(rig.status.percent, "0%");
    EXPECT_EQ(rig.status.elapsed, "0:00:00");
    EXPECT_EQ(rig.status.version, "V1.0.0");
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.menu.checkedCount(), 0);
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
    // The indicator keeps the colour it was created with until the first ready state.
    EXPECT_EQ(rig.form->Activity1.ForeColor(), 0x00C00000u);
    EXPECT_EQ(rig.form->Activity1.Style(), 3);
}

TEST(Startup, ScanShowsOnlyThePortsThatOpen) {
    Rig rig;
    rig.load({2, 5});
    for (int index = 0; index <= 9; ++index)
        EXPECT_EQ(rig.menu.visible[index], index == 2 || index == 5) << "item " << index;
    EXPECT_EQ(rig.form->link.MSComm1.CommPort(), 9);
    EXPECT_EQ(rig.menu.tips[2], Rig::pathOf(2));
}

TEST(Startup, NoPortAtAllLeavesOnlyNoComPortsAndSaysSoOnce) {
    Rig rig;
    rig.load({});
    EXPECT_TRUE(rig.menu.visible[0]);
    for (int index = 1; index <= 9; ++index)
        EXPECT_FALSE(rig.menu.visible[index]);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "No Com Ports available!");
    EXPECT_EQ(rig.dialogs.shown[0].title, "ComPortError");
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::Critical);
    rig.form->link.com_Click(0);
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.status.title, "Ready");
}

TEST(Startup, StoredPortThatIsPresentIsCheckedAndOpened) {
    Rig rig;
    rig.settings.values["Settings/COM-Port"] = "3";
    rig.load({1, 3});
    EXPECT_TRUE(rig.serial.isOpen());
    EXPECT_EQ(rig.serial.openPath(), Rig::pathOf(3));
    EXPECT_TRUE(rig.menu.checked[3]);
    EXPECT_EQ(rig.menu.checkedCount(), 1);
}

TEST(Startup, StoredPortThatIsAbsentOpensNothing) {
    Rig rig;
    rig.settings.values["Settings/COM-Port"] = "3";
    rig.load({1, 2});
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.menu.checkedCount(), 0);
}

TEST(Startup, MalformedStoredPortStartsAsIfNoneWasStored) {
    for (const char* stored : {"abc", "12", "-1", "3.5", ""}) {
        Rig rig;
        rig.settings.values["Settings/COM-Port"] = stored;
        rig.load({3, 9});
        EXPECT_EQ(rig.menu.checkedCount(), 0) << stored;
        EXPECT_FALSE(rig.serial.isOpen()) << stored;
        EXPECT_EQ(rig.status.title, "Ready") << stored;
    }
}

TEST(Shutdown, StoresTheOpenPortAndTheNextStartOpensItAgain) {
    Rig rig;
    rig.load({2, 4});
    rig.form->link.com_Click(4);
    rig.form->Form_Unload();
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(storedPort(rig), "4");

    Rig next;
    next.settings.values = rig.settings.values;
    next.load({2, 4});
    EXPECT_TRUE(next.menu.checked[4]);
    EXPECT_EQ(next.serial.openPath(), Rig::pathOf(4));
}

TEST(Shutdown, WithoutAnOpenPortStoresTheNumberLastProbed) {
    Rig rig;
    rig.load({2});
    rig.form->Form_Unload();
    EXPECT_EQ(storedPort(rig), "9");
}

}  // namespace
}  // namespace tarvel::test
