// The communication test: "UP" from the module within four seconds, "OK" and the byte 1 back a
// second later, "OK" to confirm within four more.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

const QByteArray kAnswer("OK\x01", 3);

struct CommunicationTestRuns : ::testing::Test {
    void SetUp() override {
        rig.intercept = [this](const QByteArray& bytes) {
            if (bytes == kAnswer && !confirmation.isEmpty())
                rig.reply(confirmation, confirmAfter);
            return true;
        };
    }
    // Ctrl+T, as the window hands it over.
    void pressCtrlT() { rig.form->Form_KeyPress(Form1::kCtrlT); }
    ModuleRig rig;
    QByteArray confirmation;
    double confirmAfter = 0.2;
};

TEST_F(CommunicationTestRuns, RequestStartsWhatCameAndTheConfirmationEndsItEachWithinFourSeconds) {
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
        SetUp();
        rig.dialogs.shown.clear();
        rig.writes.clear();
        confirmation = row.confirmation;
        confirmAfter = row.confirmAfter;
        const double start = rig.time.seconds();
        if (!row.request.isEmpty())
            rig.reply(row.request, row.requestAt);
        pressCtrlT();
        SCOPED_TRACE(row.request.toStdString() + " / " + row.confirmation.toStdString());
        ASSERT_EQ(rig.dialogs.shown.size(), 1);
        EXPECT_EQ(rig.dialogs.shown[0].text,
                  row.passes ? "Serial Communication O.K." : "Serial Communication failed!");
        EXPECT_EQ(rig.dialogs.shown[0].title, "Com-Test");
        EXPECT_EQ(rig.dialogs.shown[0].icon,
                  row.passes ? MessageIcon::Information : MessageIcon::Critical);
        const bool requestSeen = row.request == "UP" && row.requestAt < 4;
        EXPECT_EQ(rig.writes.size(), requestSeen ? 1 : 0);
        if (requestSeen) {
            EXPECT_EQ(rig.writes[0].bytes, kAnswer);
            EXPECT_NEAR(rig.writes[0].at - start, row.requestAt + 1.0, 0.002);
        }
        rig.time.advance(5.0);  // nothing of this run reaches the next
    }
}

TEST_F(CommunicationTestRuns, ShowsWhatItWaitsForAndLeavesTheClockAtZero) {
    rig.display().StartElapsedClock();
    rig.time.advance(5.0);
    rig.display().StopElapsedClock();
    QString activityDuring;
    bool busyDuring = false, menuDuring = true;
    rig.time.after(1.0, [&] {
        activityDuring = rig.status.activity;
        busyDuring = rig.status.busyPointer;
        menuDuring = rig.menu.menuEnabled;
        pressCtrlT();  // neither a second test nor an update is started
        rig.form->Form_KeyDown(Form1::kKeyF1);
    });
    pressCtrlT();
    EXPECT_TRUE(rig.writes.isEmpty());
    EXPECT_EQ(activityDuring, "Testmode - Waiting for request...");
    EXPECT_TRUE(busyDuring);
    EXPECT_FALSE(menuDuring);
    EXPECT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.status.elapsed, "0:00:00");  // reset, not started
    EXPECT_FALSE(rig.timer1.isEnabled());
    EXPECT_EQ(rig.status.activity, "");
    EXPECT_FALSE(rig.status.busyPointer);
    EXPECT_TRUE(rig.menu.menuEnabled);
    EXPECT_FALSE(rig.session().busy());
    pressCtrlT();  // and works again afterwards
    EXPECT_EQ(rig.dialogs.shown.size(), 2);
}

}  // namespace
}  // namespace tarvel::test
