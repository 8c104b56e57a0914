// The update driver: the no-port case, the setup-switch check, identification by announcement
// and by probing, and the hand-over to a transfer.
#include "status/StatusTexts.h"
#include "tests/support/UpdateRig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

const QByteArray kTwelveX(12, 'X');

QByteArray probe(const char* code) {
    return QByteArray(code).repeated(5);
}

struct Driver : ::testing::Test {
    void SetUp() override {
        rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(1));
        rig.files.add(Rig::imagePath("DVB-SAT-1.bin"),
                      ackImage(1, [](int, int block) { return block == 0; }));
        rig.files.add(Rig::imagePath("DVB-SLV-1.bin"),
                      ackImage(1, [](int, int block) { return block == 0; }));
        rig.status.titles.clear();
    }
    // A module that answers the switch check with text and runs the request-driven protocol.
    void announcingModule(const QByteArray& answer, int echoRounds = 0) {
        rig.module = [this, answer, echoRounds, rounds = 0,
                      data = 0](const QByteArray& bytes) mutable {
            if (bytes == kTwelveX) {
                rig.reply(rounds++ < echoRounds ? kTwelveX : answer);
            } else if (bytes.startsWith("OK") && bytes.size() == 3) {
                rig.reply("OK", 0.05);
            } else if ((data += bytes.size()) == 65536) {
                rig.reply("EN", 0.05);
            }
        };
    }
    // A probed module of the given types: "R!" to their probes, then acknowledges everything.
    void probedModule(QList<QByteArray> types, QByteArray lateText = {}) {
        rig.module = [this, types, lateText](const QByteArray& bytes) {
            for (const QByteArray& type : types) {
                if (bytes == probe(type))
                    rig.reply("R!");
            }
            if (bytes == "q" && !lateText.isEmpty())
                rig.reply(lateText, 5.0);
            if (bytes.size() == 1025 || (bytes.size() == 2 && (bytes[0] == 'e' || bytes[0] == 'f')))
                rig.reply("K!");
            if (bytes.size() == 2 && bytes[0] == 'b')
                rig.reply("W!K!");
        };
    }
    UpdateRig rig;
};

TEST_F(Driver, WithoutAnOpenPortNothingIsSent) {
    rig.form->link.MSComm1.setPortOpen(false);
    EXPECT_EQ(rig.updater().StartUpdate(), UpdateOutcome::NoPort);
    EXPECT_TRUE(rig.writes.isEmpty());
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "No Com Port selected!");
    EXPECT_EQ(rig.dialogs.shown[0].title, "ComPortError");
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_EQ(rig.form->Activity1.ForeColor(), kGreen);
    EXPECT_FALSE(rig.status.busyPointer);
    EXPECT_FALSE(rig.timer1.isEnabled());
}

TEST_F(Driver, AnnouncingModuleGetsTheGeneralImageByRequest) {
    rig.updater().ModuleType = "DVBTER";
    announcingModule("SC");
    EXPECT_EQ(rig.updater().StartUpdate(), UpdateOutcome::Success);
    EXPECT_EQ(rig.sent().at(0), kTwelveX);
    EXPECT_EQ(rig.sent().at(1), QByteArray("OK\x01", 3));
    EXPECT_EQ(rig.updater().FirmwareFile, Rig::imagePath("DVB-GEN-1.bin"));
    EXPECT_EQ(rig.status.fileName, Rig::imagePath("DVB-GEN-1.bin"));
    EXPECT_EQ(rig.updater().ModuleType, "DVBTER");
    EXPECT_EQ(rig.status.titles.first(), "Checking");
}

TEST_F(Driver, SwitchOffKeepsWarningAndRepeatsTheCheck) {
    announcingModule("UP", 3);
    EXPECT_EQ(rig.updater().StartUpdate(), UpdateOutcome::Success);
    EXPECT_EQ(rig.countSent(kTwelveX), 4);
    EXPECT_EQ(rig.status.titles.count("Warning"), 3);
    EXPECT_NEAR(rig.writes[1].at - rig.writes[0].at, 0.2, 0.01);
    const int firstChecking = rig.status.titles.indexOf("Checking", 1);
    EXPECT_GT(firstChecking, rig.status.titles.lastIndexOf("Warning"));
}

TEST_F(Driver, AnnouncementOnlyAtTheStartCounts) {
    for (const QByteArray& answer : {QByteArray("xUP"), QByteArray("up")}) {
        UpdateRig local;
        local.files.add(Rig::imagePath("DVB-SAT-1.bin"),
                        ackImage(1, [](int, int block) { return block == 0; }));
        local.module = [&](const QByteArray& bytes) {
            if (bytes == kTwelveX)
                local.reply(answer);
            if (bytes == probe("DVBSAT"))
                local.reply("R!");
            if (bytes.size() == 1025 || bytes.size() == 2)
                local.reply(bytes[0] == 'b' ? "W!K!" : "K!");
        };
        EXPECT_EQ(local.updater().StartUpdate(), UpdateOutcome::Success) << answer.constData();
        EXPECT_EQ(local.sent().at(1), "q") << answer.constData();
    }
}

TEST_F(Driver, ProbesFollowTheTableAndTheFirstAnswerWins) {
    probedModule({"DVBSLV", "DVBTER"});
    EXPECT_EQ(rig.updater().StartUpdate(), UpdateOutcome::Success);
    EXPECT_EQ(rig.sent().mid(0, 4),
              (QList<QByteArray>{kTwelveX, "q", probe("DVBSAT"), probe("DVBSLV")}));
    EXPECT_EQ(rig.sent().at(4), "DVBSLV");  // the type code opens the transfer
    EXPECT_EQ(rig.updater().ModuleType, "DVBSLV");
    EXPECT_EQ(rig.updater().FirmwareFile, Rig::imagePath("DVB-SLV-1.bin"));
    // "q", then ten seconds, then half a second per probe.
    EXPECT_NEAR(rig.writes[2].at - rig.writes[1].at, 10.0, 0.01);
    EXPECT_NEAR(rig.writes[3].at - rig.writes[2].at, 0.5, 0.01);
}

TEST_F(Driver, AnswerDuringTheQuietWaitIsDiscarded) {
    probedModule({}, "R!");
    rig.time.setWaitLimit(200000);
    rig.time.after(40.0, [this] { rig.updater().cancel(); });
    EXPECT_EQ(rig.updater().StartUpdate(), UpdateOutcome::Cancelled);
    EXPECT_EQ(rig.countSent(probe("DVBTCI")), 2);  // two whole unanswered passes
    EXPECT_EQ(rig.countSent("DVBSAT"), 0);
}

TEST_F(Driver, UnansweredPassesRepeatAndTheClockKeepsCounting) {
    rig.time.setWaitLimit(200000);
    rig.time.after(31.0, [this] { rig.updater().cancel(); });
    rig.updater().StartUpdate();
    EXPECT_EQ(rig.countSent(kTwelveX), 3);
    // Each pass takes 0.2 + 1 + 10 + 7 × 0.5 = 14.7 s.
    EXPECT_NEAR(rig.writes[9].at - rig.writes[0].at, 14.7, 0.02);
    EXPECT_EQ(rig.status.elapsed.left(4), "0:00");
    EXPECT_GE(rig.status.elapsed.mid(5).toInt(), 29);
}

TEST_F(Driver, NoMatchingImageEndsInTheReadyStateWithAMessage) {
    rig.files.files.remove(Rig::imagePath("DVB-GEN-1.bin"));
    announcingModule("UP");
    EXPECT_EQ(rig.updater().StartUpdate(), UpdateOutcome::NoImage);
    EXPECT_EQ(rig.sent(), QList<QByteArray>{kTwelveX});
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].title, "Update Error");
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("DVB-GEN*.bin"));
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("/images"));
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.timer1.isEnabled());
}

TEST_F(Driver, SecondStartDuringAnUpdateIsIgnored) {
    announcingModule("UP");
    UpdateOutcome nested = UpdateOutcome::Success;
    rig.time.after(2.0, [&] { nested = rig.updater().StartUpdate(); });
    EXPECT_EQ(rig.updater().StartUpdate(), UpdateOutcome::Success);
    EXPECT_EQ(nested, UpdateOutcome::Busy);
    EXPECT_EQ(rig.countSent(kTwelveX), 1);
}

TEST_F(Driver, VanishedPortDuringIdentificationEndsWithTheErrorBox) {
    rig.time.after(5.0, [this] { rig.serial.vanish(); });
    EXPECT_EQ(rig.updater().StartUpdate(), UpdateOutcome::Failed);
    EXPECT_LT(rig.time.seconds(), 5.1);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.updater().running());
}

}  // namespace
}  // namespace tarvel::test
