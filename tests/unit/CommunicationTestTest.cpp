// The communication test: "UP" from the module within four seconds, "OK" and the byte 1 back a
// second later, "OK" to confirm within four more.
#include "tests/support/Rig.h"
#include "window/Keys.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

const QByteArray kAnswer("OK\x01", 3);

// Ctrl+T with a module that sends the request by itself and confirms the answer.
void runTest(ModuleRig& rig, const QByteArray& request, double requestAt,
             const QByteArray& confirmation = {}, double confirmAfter = 0) {
    rig.intercept = [&rig, confirmation, confirmAfter](const QByteArray& bytes) {
        if (bytes == kAnswer && !confirmation.isEmpty())
            rig.reply(confirmation, confirmAfter);
        return true;
    };
    if (!request.isEmpty())
        rig.reply(request, requestAt);
    rig.form->Form_KeyPress(keys::kCtrlT);
}

TEST(CommunicationTest, RequestStartsWhatCameAndTheConfirmationEndsItEachWithinFourSeconds) {
    struct Row {
        QByteArray request;
        double requestAt;
        QByteArray confirmation;
        double confirmAfter;
        bool passes;
    };
    const Row rows[] = {
        {"UP", 0.5, "OK", 0.2, true},    {"UP", 3.99, "OK", 3.99, true},
        {"UP", 4.01, "OK", 0.2, false},  {"UP", 0.1, "OK", 4.01, false},
        {"xyUP", 0.3, "OK", 0.2, false}, {"UP", 0.1, "abcOK", 0.2, true},
        {"UP", 0.1, "OKxy", 0.2, false}, {"", 0, "", 0, false},
    };
    for (const Row& row : rows) {
        ModuleRig rig;
        runTest(rig, row.request, row.requestAt, row.confirmation, row.confirmAfter);
        SCOPED_TRACE(row.request.toStdString() + " / " + row.confirmation.toStdString());
        const ShownMessage passed{"Serial Communication O.K.", "Com-Test",
                                  MessageIcon::Information};
        const ShownMessage failed{"Serial Communication failed!", "Com-Test",
                                  MessageIcon::Critical};
        EXPECT_EQ(rig.dialogs.shown, QList{row.passes ? passed : failed});
        const bool requestSeen = row.request == "UP" && row.requestAt < 4;
        EXPECT_EQ(rig.writes.size(), requestSeen ? 1 : 0);
        if (requestSeen) {
            EXPECT_EQ(rig.writes[0].bytes, kAnswer);
            EXPECT_NEAR(rig.writes[0].at, row.requestAt + 1.0, 0.002);
        }
    }
}

// The confirmation may come before the driver reports the answer written (an overlapped write on
// a loaded Windows machine); it is the module's confirmation all the same.
TEST(CommunicationTest, AConfirmationBeforeTheAnswerIsReportedWrittenCounts) {
    ModuleRig rig;
    rig.serial.writeReportedLate = 0.05;
    runTest(rig, "UP", 0.5, "OK", 0.01);
    const ShownMessage passed{"Serial Communication O.K.", "Com-Test", MessageIcon::Information};
    EXPECT_EQ(rig.dialogs.shown, QList{passed});
}

TEST(CommunicationTest, ShowsWhatItWaitsForAndLeavesTheClockAtZero) {
    ModuleRig rig;
    rig.display().StartElapsedClock();
    rig.time.advance(5.0);
    rig.display().StopElapsedClock();
    QString activityDuring;
    bool busyDuring = false, menuDuring = true;
    rig.time.after(1.0, [&] {
        activityDuring = rig.status.activity;
        busyDuring = rig.status.busyPointer;
        menuDuring = rig.menu.menuEnabled;
        rig.form->Form_KeyPress(keys::kCtrlT);  // neither a second test nor an update is started
        rig.form->Form_KeyDown(keys::kF1);
    });
    runTest(rig, {}, 0);
    EXPECT_TRUE(rig.writes.isEmpty());
    EXPECT_EQ(activityDuring, "Testmode - Waiting for request...");
    EXPECT_TRUE(busyDuring);
    EXPECT_FALSE(menuDuring);
    EXPECT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.status.elapsed, "0:00:00");  // reset, not started
    EXPECT_FALSE(rig.timer1.isEnabled() || rig.status.busyPointer || rig.session().busy());
    EXPECT_EQ(rig.status.activity, "");
    EXPECT_TRUE(rig.menu.menuEnabled);
    rig.form->Form_KeyPress(keys::kCtrlT);  // and works again afterwards
    EXPECT_EQ(rig.dialogs.shown.size(), 2);
}

}  // namespace
}  // namespace tarvel::test
