// The request-driven transfer: the module asks for every sector with "OK" and ends with "EN".
#include "status/StatusTexts.h"
#include "tests/support/UpdateRig.h"

#include <QRegularExpression>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// A module that asks for each sector once the previous one has arrived whole.
struct RequestModule {
    explicit RequestModule(UpdateRig& rig) : rig(rig) {
        rig.module = [this](const QByteArray& bytes) { receive(bytes); };
    }
    void receive(const QByteArray& bytes) {
        if (bytes.size() == 3 && bytes.startsWith("OK")) {
            sectors = static_cast<unsigned char>(bytes[2]);
            received.clear();
            request(requestDelay);
            return;
        }
        received += bytes;
        if (received.size() % 65536 == 0 && !bytes.isEmpty()) {
            if (received.size() / 65536 < sectors)
                request(requestDelay);
            else if (sendEnd)
                rig.reply(endText, 0.1);
        }
    }
    void request(double delay) {
        if (silentRequests > 0) {
            --silentRequests;
            return;
        }
        rig.reply(requestText, delay);
    }
    UpdateRig& rig;
    int sectors = 0;
    QByteArray received;
    QByteArray requestText = "OK";
    QByteArray endText = "EN";
    double requestDelay = 0.05;
    int silentRequests = 0;
    bool sendEnd = true;
};

struct RequestTransfer : ::testing::Test {
    void useImage(const QByteArray& image) {
        rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), image);
        rig.updater().FirmwareFile = Rig::imagePath("DVB-GEN-1.bin");
    }
    UpdateRig rig;
    RequestModule module{rig};
};

TEST_F(RequestTransfer, ThreeSectorsGoOutWholeAndEndInSuccess) {
    const QByteArray image = requestImage(3);
    useImage(image);
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Success);

    const QList<QByteArray> writes = rig.sent();
    ASSERT_EQ(writes.size(), 1 + 3 * 4);
    EXPECT_EQ(writes[0], QByteArray("OK\x03", 3));
    for (int i = 1; i < writes.size(); ++i)
        EXPECT_EQ(writes[i].size(), 16384);
    EXPECT_EQ(module.received, image);
    EXPECT_EQ(rig.status.percents.mid(rig.status.percents.indexOf(" 8%"), 12),
              (QStringList{" 8", " 16", " 25", " 33", " 41", " 50", " 58", " 66", " 75", " 83",
                           " 91", " 100"}
                   .replaceInStrings(QRegularExpression("$"), "%")));
    EXPECT_EQ(rig.status.percents.first(), "0%");
    EXPECT_EQ(rig.status.percents.last(), "0%");
    EXPECT_TRUE(rig.status.titles.contains(texts::successWord()));
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_TRUE(rig.status.activity.isEmpty());
    EXPECT_FALSE(rig.timer1.isEnabled());
    EXPECT_FALSE(rig.updater().imageFileOpen());
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
}

TEST_F(RequestTransfer, ShowsSectorAndBlockWithLeadingBlanks) {
    useImage(requestImage(1));
    rig.updater().SendFirmwareOnRequest();
    EXPECT_TRUE(rig.status.activities.contains("Sending Sector 0   Block 3"));
    EXPECT_TRUE(rig.status.activities.contains("Writing Sector 0"));
    EXPECT_EQ(rig.status.activities.first(), "Waiting for request...");
}

TEST_F(RequestTransfer, RequestIsTheLastTwoCharactersAndCountsOnce) {
    module.requestText = "xyOK";
    useImage(requestImage(2));
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Success);
    EXPECT_EQ(rig.sent().size(), 1 + 8);
}

TEST_F(RequestTransfer, DoubledRequestIsAcceptedOnce) {
    module.requestText = "OKOK";
    useImage(requestImage(2));
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Success);
    EXPECT_EQ(rig.sent().size(), 1 + 8);
}

TEST_F(RequestTransfer, EndMarkAfterOtherTextTimesOutAndRestarts) {
    module.endText = "xEN";
    useImage(requestImage(1));
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Failed);
    EXPECT_EQ(rig.countSent(QByteArray("OK\x01", 3)), 4);
}

TEST_F(RequestTransfer, RequestJustInsideTheTimeLimitIsServed) {
    module.requestDelay = 3.9;
    useImage(requestImage(2));
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Success);
    EXPECT_EQ(rig.updater().ErrorCount, 0);
    // The 3.9 s count from the return of the sector's last write.
    const auto& writes = rig.writes;
    EXPECT_NEAR(writes[5].at - writes[4].at, 3.9 + 1.0, 0.01);
}

TEST_F(RequestTransfer, RequestJustOutsideTheTimeLimitRestarts) {
    module.requestDelay = 4.1;
    useImage(requestImage(1));
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Failed);
    EXPECT_EQ(rig.updater().ErrorCount, 4);
}

TEST_F(RequestTransfer, ThreeRestartsThenTheErrorBox) {
    module.silentRequests = 1000;
    useImage(requestImage(2));
    rig.form->status.StartElapsedClock();
    const double start = rig.time.seconds();
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Failed);
    EXPECT_EQ(rig.countSent(QByteArray("OK\x02", 3)), 4);
    EXPECT_EQ(rig.sent().size(), 4);  // no sector is ever sent
    // Four waits of 4 s, three pauses of 2 s before the restarts.
    EXPECT_NEAR(rig.time.seconds() - start, 4 * 4 + 3 * 2, 0.05);
    EXPECT_EQ(rig.status.titles.count("Error"), 3);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.dialogs.shown[0].title, "Update Error");
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::Critical);
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.timer1.isEnabled());
    EXPECT_FALSE(rig.updater().imageFileOpen());
    EXPECT_EQ(rig.status.activity, "Waiting for request...");
}

TEST_F(RequestTransfer, RecoversWhenTheModuleAnswersAfterARestart) {
    module.silentRequests = 2;  // the first run's request and the second run's
    useImage(requestImage(1));
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Success);
    EXPECT_EQ(rig.updater().ErrorCount, 2);
    EXPECT_EQ(rig.countSent(QByteArray("OK\x01", 3)), 3);
}

TEST_F(RequestTransfer, LostPortEndsWithTheErrorBoxAndNoHang) {
    useImage(requestImage(4));
    rig.time.after(2.0, [this] { rig.serial.vanish(); });
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Failed);
    EXPECT_LT(rig.time.seconds(), 2.1);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.status.title, "Ready");
}

struct RefusedImage : RequestTransfer, ::testing::WithParamInterface<int> {};

TEST_P(RefusedImage, IsRefusedBeforeAnythingIsSent) {
    useImage(QByteArray(GetParam(), 'A'));
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::NoImage);
    EXPECT_TRUE(rig.writes.isEmpty());
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].title, "Update Error");
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("DVB-GEN-1.bin"));
    EXPECT_EQ(rig.status.title, "Ready");
}

INSTANTIATE_TEST_SUITE_P(Lengths, RefusedImage,
                         ::testing::Values(0, 40000, 65536 + 100, 3 * 32768, 256 * 65536));

TEST_F(RequestTransfer, MissingImageIsRefused) {
    rig.updater().FirmwareFile = Rig::imagePath("gone.bin");
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::NoImage);
    EXPECT_TRUE(rig.writes.isEmpty());
    EXPECT_EQ(rig.dialogs.shown.size(), 1);
}

TEST(SectorCount, RoundsToTheNearestWithTiesToEven) {
    EXPECT_EQ(sectorCount(3 * 65536), 3);
    EXPECT_EQ(sectorCount(65536 + 32768), 2);
    EXPECT_EQ(sectorCount(2 * 65536 + 32768), 2);
    EXPECT_EQ(sectorCount(32768), 0);
    EXPECT_EQ(sectorCount(32769), 1);
}

}  // namespace
}  // namespace tarvel::test
