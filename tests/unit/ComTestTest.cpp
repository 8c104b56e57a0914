// The communication test on virtual time: "UP" from the module, "OK"+0x01 back after a second,
// "OK" to confirm, each within four seconds.
#include "tests/support/UpdateRig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

const QByteArray kAnswer("OK\x01", 3);

struct ComTest : ::testing::Test {
    // Ctrl+T, as the window hands it over.
    void pressCtrlT() { rig.form->Form_KeyPress(Form1::kCtrlT); }
    QString result() const {
        return rig.dialogs.shown.isEmpty() ? QString() : rig.dialogs.shown.last().text;
    }
    UpdateRig rig;
};

TEST_F(ComTest, ModuleThatAsksAndConfirmsPasses) {
    rig.reply("UP", 0.5);
    rig.module = [this](const QByteArray& bytes) {
        if (bytes == kAnswer)
            rig.reply("OK", 0.2);
    };
    pressCtrlT();
    EXPECT_EQ(rig.sent(), QList<QByteArray>{kAnswer});
    EXPECT_NEAR(rig.writes[0].at, 1.5, 0.01);  // one second after the request
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(result(), "Serial Communication O.K.");
    EXPECT_EQ(rig.dialogs.shown[0].title, "Com-Test");
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::Information);
    EXPECT_FALSE(rig.form->ComTestBusy);
    EXPECT_TRUE(rig.status.activity.isEmpty());
    EXPECT_TRUE(rig.status.activities.contains("Testmode - Waiting for request..."));
    EXPECT_FALSE(rig.status.busyPointer);
}

TEST_F(ComTest, OtherTextBeforeTheRequestIsThrownAwayAndTheTestFails) {
    rig.reply("xyUP", 0.3);
    pressCtrlT();
    EXPECT_TRUE(rig.writes.isEmpty());
    EXPECT_EQ(result(), "Serial Communication failed!");
    EXPECT_EQ(rig.dialogs.shown.last().icon, MessageIcon::Critical);
    EXPECT_NEAR(rig.time.seconds(), 4.0, 0.01);
}

TEST_F(ComTest, ConfirmationMayFollowOtherText) {
    rig.reply("UP");
    rig.module = [this](const QByteArray&) { rig.reply("abcOK", 3.0); };
    pressCtrlT();
    EXPECT_EQ(result(), "Serial Communication O.K.");
}

TEST_F(ComTest, NothingAtAllFailsAfterFourSecondsAndSendsNothing) {
    rig.form->status.StartElapsedClock();
    rig.time.advance(5.0);
    const double start = rig.time.seconds();
    pressCtrlT();
    EXPECT_NEAR(rig.time.seconds() - start, 4.0, 0.01);
    EXPECT_TRUE(rig.writes.isEmpty());
    EXPECT_EQ(result(), "Serial Communication failed!");
    EXPECT_TRUE(rig.status.activity.isEmpty());
    EXPECT_EQ(rig.status.elapsed.left(4), "0:00");  // reset, not started
}

TEST_F(ComTest, MissingConfirmationFails) {
    rig.reply("UP");
    pressCtrlT();
    EXPECT_EQ(rig.sent(), QList<QByteArray>{kAnswer});
    EXPECT_EQ(result(), "Serial Communication failed!");
}

TEST_F(ComTest, SecondCtrlTDuringATestIsIgnored) {
    rig.time.after(1.0, [this] { pressCtrlT(); });
    pressCtrlT();
    EXPECT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_NEAR(rig.time.seconds(), 4.0, 0.01);
    pressCtrlT();  // and works again afterwards
    EXPECT_EQ(rig.dialogs.shown.size(), 2);
}

TEST_F(ComTest, PortMenuIsOffWhileTheTestRuns) {
    bool menuDuringTest = true;
    rig.time.after(1.0, [&] { menuDuringTest = rig.menu.menuEnabled; });
    pressCtrlT();
    EXPECT_FALSE(menuDuringTest);
    EXPECT_TRUE(rig.menu.menuEnabled);
}

}  // namespace
}  // namespace tarvel::test
