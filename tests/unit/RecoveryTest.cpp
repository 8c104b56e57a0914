// Waiting for an acknowledgement, and bringing back a module that does not answer.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// The reply counts anywhere in what came within two seconds. Without it the error shows and the
// module is flooded with "e", 10 ms apart, until it says anything, then probed with "DVBTER"
// until "E!" or "R!" says it is back; an "E!" already there says so at once. After more than ten
// seconds of recovery it is given up: the error box, then the ready state.
TEST(Recovery, ReplyInTimeOrModuleBackOrGivenUp) {
    struct Row {
        const char* what;
        QByteArray reply;  // by itself at that time, or else in answer to the "e" of that number
        double at;
        int answeredE;
        bool back;
        int errorCount, floods, probes;
        double endsAt;
        const char* lastWord;
    };
    // clang-format off
    const Row rows[] = {
        {"reply amid other text", "xyW!K!", 1.9, 0, true, 0, 0, 0, 1.9, "Ready"},
        {"error reply", "E!", 0.1, 0, true, 2, 0, 0, 2.0, "Error"},
        {"flood answered", "E!", 0, 3, true, 2, 3, 1, 2.04, "Error"},
        {"talks but never back", "??", 0, 1, false, 0, 2, 2 * 501, 12.04, "Ready"},
        {"silent", {}, 0, 0, false, 0, 1025, 501, 17.26, "Ready"},
    };
    // clang-format on
    for (const Row& row : rows) {
        ModuleRig rig;
        rig.intercept = [&](const QByteArray& bytes) {
            if (bytes == "e" && rig.countSent("e") == row.answeredE)
                rig.reply(row.reply);
            return true;
        };
        rig.display().StartElapsedClock();
        if (row.at > 0)
            rig.reply(row.reply, row.at);
        SCOPED_TRACE(row.what);
        EXPECT_EQ(rig.updater().AwaitReply("W!K!"), row.back);
        EXPECT_EQ(rig.updater().ErrorCount, row.errorCount);
        EXPECT_EQ(rig.countSent("e"), row.floods);
        EXPECT_EQ(rig.countSent("DVBTER"), row.probes);
        EXPECT_EQ(rig.writes.size(), row.floods + row.probes);
        EXPECT_NEAR(rig.time.seconds(), row.endsAt, 0.005);
        EXPECT_EQ(rig.status.statuses.last().word, row.lastWord);
        EXPECT_EQ(rig.status.statuses.last().color, row.errorCount ? 0x0000FFu : 0u);
        EXPECT_EQ(rig.dialogs.shown, row.back ? QList<ShownMessage>{} : QList{kUpdateErrorBox});
        EXPECT_EQ(rig.timer1.isEnabled(), row.back);
    }
}

}  // namespace
}  // namespace tarvel::test
