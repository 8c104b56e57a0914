// Waiting for an acknowledgement and bringing a silent module back.
#include "tests/support/UpdateRig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct Recovery : ::testing::Test {
    void SetUp() override { rig.form->status.StartElapsedClock(); }
    UpdateRig rig;
};

TEST_F(Recovery, ReplyWithinTwoSecondsIsTakenQuietly) {
    rig.reply("K!", 1.5);
    EXPECT_TRUE(rig.updater().AwaitReply("K!"));
    EXPECT_EQ(rig.updater().ErrorCount, 0);
    EXPECT_TRUE(rig.status.titles.isEmpty() || !rig.status.titles.contains("Error"));
    EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(Recovery, ErrorReplyCountsAsTheModuleBackAfterTheTimeOut) {
    rig.reply("E!", 0.1);
    const double start = rig.time.seconds();
    EXPECT_TRUE(rig.updater().AwaitReply("K!"));
    EXPECT_EQ(rig.updater().ErrorCount, 2);
    EXPECT_GT(rig.time.seconds() - start, 2.0);
    EXPECT_LT(rig.time.seconds() - start, 2.01);
    EXPECT_EQ(rig.status.title, "Error");
    EXPECT_EQ(rig.status.titleColor, 0x0000FFu);
    EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(Recovery, FloodStopsAtTheFirstAnswerAndOneProbeBringsTheModuleBack) {
    int floods = 0;
    rig.module = [&](const QByteArray& bytes) {
        if (bytes == "e" && ++floods == 3)
            rig.reply("E!");
    };
    EXPECT_TRUE(rig.updater().AwaitReply("K!"));
    EXPECT_EQ(rig.updater().ErrorCount, 2);
    EXPECT_EQ(rig.sent(), (QList<QByteArray>{"e", "e", "e", "DVBTER"}));
    // 10 ms apart.
    EXPECT_NEAR(rig.writes[1].at - rig.writes[0].at, 0.01, 1e-6);
}

TEST_F(Recovery, ModuleThatTalksButNeverSaysBackIsAbandonedAfterTenSeconds) {
    rig.module = [&](const QByteArray& bytes) {
        if (bytes == "e" && rig.countSent("e") == 1)
            rig.reply("??");
    };
    EXPECT_FALSE(rig.updater().AwaitReply("K!"));
    // Round 1: one "e", 501 probes (5 s); round 2 again one "e" and 501 probes: past 10 s.
    EXPECT_EQ(rig.countSent("e"), 2);
    EXPECT_EQ(rig.countSent("DVBTER"), 2 * 501);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.timer1.isEnabled());
}

TEST_F(Recovery, SilentModuleIsAbandonedAfterOneFullRound) {
    const double start = rig.time.seconds();
    EXPECT_FALSE(rig.updater().AwaitReply("K!"));
    EXPECT_EQ(rig.countSent("e"), 1025);
    EXPECT_EQ(rig.countSent("DVBTER"), 501);
    EXPECT_NEAR(rig.time.seconds() - start, 2.0 + 1526 * 0.01, 0.1);
    EXPECT_EQ(rig.dialogs.shown.size(), 1);
}

TEST_F(Recovery, ExpectedTextAnywhereInTheBufferCounts) {
    rig.reply("xyW!K!", 0.2);
    EXPECT_TRUE(rig.updater().AwaitReply("W!K!"));
    EXPECT_EQ(rig.updater().ErrorCount, 0);
}

TEST_F(Recovery, LostPortEndsTheWaitAtOnce) {
    rig.time.after(0.5, [this] { rig.serial.vanish(); });
    EXPECT_FALSE(rig.updater().AwaitReply("K!"));
    EXPECT_LT(rig.time.seconds(), 1.0);
}

}  // namespace
}  // namespace tarvel::test
