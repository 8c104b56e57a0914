// Choosing and opening a port from the "Com Port" menu, losing it, and warte.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

TEST(ComClick, SwitchingPortsClosesTheOldAndOpensTheNewConfigured) {
    Rig rig;
    rig.load({2, 5});
    SerialLink& link = rig.form->link;
    link.com_Click(2);
    rig.serial.deliver("xyz");
    rig.time.advance(0.01);
    EXPECT_EQ(link.ReceiveBuffer, "xyz");

    link.com_Click(5);
    EXPECT_FALSE(rig.menu.checked[2]);
    EXPECT_TRUE(rig.menu.checked[5]);
    EXPECT_EQ(rig.serial.openPath(), Rig::pathOf(5));
    EXPECT_EQ(rig.serial.openLog().last(), Rig::pathOf(5));
    EXPECT_EQ(link.MSComm1.InBufferSize(), 2);
    EXPECT_EQ(link.MSComm1.OutBufferSize(), 16384);
    EXPECT_EQ(link.MSComm1.RThreshold(), 2);
    EXPECT_EQ(link.MSComm1.CommPort(), 5);
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());
}

TEST(ComClick, PickingTheOpenPortAgainReopensItAndEmptiesTheBuffer) {
    Rig rig;
    rig.load({2});
    SerialLink& link = rig.form->link;
    link.com_Click(2);
    link.ReceiveBuffer = "stale";
    link.com_Click(2);
    EXPECT_TRUE(rig.serial.isOpen());
    EXPECT_TRUE(rig.menu.checked[2]);
    EXPECT_TRUE(link.ReceiveBuffer.isEmpty());
    EXPECT_EQ(rig.serial.openLog().count(Rig::pathOf(2)), 3);  // probe, first pick, second pick
}

TEST(ComClick, PortTakenSinceTheScanIsReportedAndLeavesNoPortOpen) {
    Rig rig;
    rig.load({2, 5});
    rig.form->link.com_Click(2);
    rig.serial.busyPaths.insert(Rig::pathOf(5));
    rig.form->link.com_Click(5);
    EXPECT_FALSE(rig.serial.isOpen());
    EXPECT_EQ(rig.menu.checkedCount(), 0);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].title, "ComPortError");
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("Com5"));
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains(Rig::pathOf(5)));
}

TEST(ComClick, VanishedAdapterClosesThePortAndClearsTheCheck) {
    Rig rig;
    rig.load({3});
    rig.form->link.com_Click(3);
    rig.serial.vanish();
    EXPECT_FALSE(rig.form->link.MSComm1.PortOpen());
    EXPECT_EQ(rig.menu.checkedCount(), 0);
    EXPECT_FALSE(rig.form->link.send("X"));
}

TEST(Warte, LastsAtLeastItsLengthAndHandlesTicksAndCharactersMeanwhile) {
    Rig rig;
    rig.load({1});
    SerialLink& link = rig.form->link;
    link.com_Click(1);
    rig.form->status.StartElapsedClock();
    rig.serial.deliver("UP", 0.3);
    const double start = rig.time.seconds();
    link.warte(0.5);
    EXPECT_GE(rig.time.seconds() - start, 0.5);
    EXPECT_LT(rig.time.seconds() - start, 0.5 + 1e-9);
    EXPECT_EQ(link.ReceiveBuffer, "UP");
    EXPECT_EQ(rig.timer1.ticks(), 5);
}

TEST(Warte, ZeroOrNegativeReturnsAtOnceWithoutProcessingEvents) {
    Rig rig;
    rig.load({});
    const auto waits = rig.time.waits();
    rig.form->link.warte(0);
    rig.form->link.warte(-1);
    EXPECT_EQ(rig.time.waits(), waits);
}

TEST(Warte, TenSecondsTakeFewWakeUps) {
    Rig rig;
    rig.load({});
    const auto waits = rig.time.waits();
    rig.form->link.warte(10);
    // Blocking until the deadline, not polling: one wake-up when nothing else happens.
    EXPECT_LE(rig.time.waits() - waits, 2u);
}

}  // namespace
}  // namespace tarvel::test
