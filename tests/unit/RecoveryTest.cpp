// Waiting for an acknowledgement, and bringing back a module that does not answer.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// A module that says only what the test makes it say.
struct Recovery : ::testing::Test {
    void SetUp() override {
        rig.intercept = [this](const QByteArray& bytes) {
            if (answer)
                answer(bytes);
            return true;
        };
        rig.display().StartElapsedClock();
    }
    ModuleRig rig;
    std::function<void(const QByteArray&)> answer;
};

TEST_F(Recovery, ReplyWithinTwoSecondsIsTakenQuietlyAnywhereInWhatCame) {
    rig.reply("xyW!K!", 1.9);
    EXPECT_TRUE(rig.updater().AwaitReply("W!K!"));
    EXPECT_EQ(rig.updater().ErrorCount, 0);
    EXPECT_FALSE(rig.status.titles.contains("Error"));
    EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(Recovery, ErrorReplyCountsAsTheModuleBackOnceTheTwoSecondsHavePassed) {
    rig.reply("E!", 0.1);
    EXPECT_TRUE(rig.updater().AwaitReply("K!"));
    EXPECT_EQ(rig.updater().ErrorCount, 2);
    EXPECT_NEAR(rig.time.seconds(), 2.0, 0.002);
    EXPECT_EQ(rig.status.statuses.last().word, "Error");
    EXPECT_EQ(rig.status.statuses.last().color, 0x0000FFu);
    EXPECT_TRUE(rig.writes.isEmpty());
}

TEST_F(Recovery, FloodStopsAtTheFirstAnswerAndOneProbeBringsTheModuleBack) {
    answer = [this](const QByteArray& bytes) {
        if (bytes == "e" && rig.countSent("e") == 3)
            rig.reply("E!");
    };
    EXPECT_TRUE(rig.updater().AwaitReply("K!"));
    EXPECT_EQ(rig.updater().ErrorCount, 2);
    EXPECT_EQ(rig.sent(), (QList<QByteArray>{"e", "e", "e", "DVBTER"}));
    EXPECT_NEAR(rig.writes[1].at - rig.writes[0].at, 0.01, 1e-6);
    EXPECT_NEAR(rig.writes[3].at - rig.writes[2].at, 0.01, 1e-6);
}

TEST_F(Recovery, ModuleThatTalksButNeverSaysBackIsAbandonedAfterTenSeconds) {
    answer = [this](const QByteArray& bytes) {
        if (bytes == "e" && rig.countSent("e") == 1)
            rig.reply("??");
    };
    EXPECT_FALSE(rig.updater().AwaitReply("K!"));
    // Round 1: one "e", 501 probes (5 s); round 2 the same: past 10 s.
    EXPECT_EQ(rig.countSent("e"), 2);
    EXPECT_EQ(rig.countSent("DVBTER"), 2 * 501);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.dialogs.shown[0].title, "Update Error");
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.timer1.isEnabled());
}

TEST_F(Recovery, SilentModuleIsAbandonedAfterOneFullRound) {
    EXPECT_FALSE(rig.updater().AwaitReply("K!"));
    EXPECT_EQ(rig.countSent("e"), 1025);
    EXPECT_EQ(rig.countSent("DVBTER"), 501);
    EXPECT_NEAR(rig.time.seconds(), 2.0 + 1526 * 0.01, 0.1);
    EXPECT_EQ(rig.dialogs.shown.size(), 1);
}

}  // namespace
}  // namespace tarvel::test
