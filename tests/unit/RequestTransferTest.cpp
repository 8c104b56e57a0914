// The request-driven transfer: the module asks for every sector with "OK" and ends with "EN";
// a silent module gets the whole transfer again, three times at most.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

TEST(RequestTransfer, SectorsGoOutWholeWithProgressAfterEachBlock) {
    ModuleRig rig;
    const QByteArray image = requestImage(3);
    rig.useImage("DVB-GEN-1.bin", image);
    ASSERT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Success);

    const QList<QByteArray> sent = rig.sent();
    ASSERT_EQ(sent.size(), 1 + 3 * 4);
    EXPECT_EQ(sent[0], QByteArray("OK\x03", 3));
    for (int block = 0; block < 12; ++block)
        EXPECT_TRUE(sent[1 + block] == image.mid(block * 16384, 16384)) << "block " << block;
    EXPECT_TRUE(rig.module.flash() == image);

    EXPECT_EQ(rig.status.progressMax, 12);
    EXPECT_EQ(rig.status.progressValues.mid(1),
              (QList<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 0}));
    EXPECT_EQ(rig.status.percents,
              (QStringList{"0%", "0%", " 8%", " 16%", " 25%", " 33%", " 41%", " 50%", " 58%",
                           " 66%", " 75%", " 83%", " 91%", " 100%", "0%"}));
    QStringList activities{"Waiting for request..."};
    for (int sector = 0; sector < 3; ++sector) {
        for (int block = 0; block < 4; ++block)
            activities << QStringLiteral("Sending Sector %1   Block %2").arg(sector).arg(block);
        activities << QStringLiteral("Writing Sector %1").arg(sector);
    }
    EXPECT_EQ(rig.status.activities, activities << "");
    EXPECT_FALSE(rig.updater().imageFileOpen());
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
}

TEST(RequestTransfer, SectorCountAndSectorNumbersUpTo255) {
    ModuleRig rig;
    const QByteArray image = requestImage(255);
    rig.useImage("DVB-GEN-1.bin", image);
    ASSERT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Success);
    EXPECT_EQ(rig.sent()[0], QByteArray("OK\xff", 3));
    EXPECT_TRUE(rig.module.flash() == image);
    EXPECT_TRUE(rig.status.activities.contains("Sending Sector 254   Block 3"));
    EXPECT_EQ(rig.status.progressMax, 1020);
}

// What counts as the module's request (its last two characters) and end mark (its first two).
TEST(RequestTransfer, RequestIsTheEndOfWhatCameAndTheEndMarkItsStart) {
    struct Row {
        QByteArray request;
        QByteArray end;
        UpdateOutcome outcome;
        int runs;
    };
    const Row rows[] = {
        {"OK", "EN", UpdateOutcome::Success, 1},   {"xyOK", "EN", UpdateOutcome::Success, 1},
        {"OKOK", "EN", UpdateOutcome::Success, 1}, {"OKxy", "EN", UpdateOutcome::Failed, 4},
        {"OK", "ENxy", UpdateOutcome::Success, 1}, {"OK", "xEN", UpdateOutcome::Failed, 4}};
    for (const Row& row : rows) {
        ModuleRig rig;
        rig.useImage("DVB-GEN-1.bin", requestImage(1));
        rig.intercept = [&rig, &row, received = 0](const QByteArray& bytes) mutable {
            if (bytes == QByteArray("OK\x01", 3)) {
                received = 0;
                rig.reply(row.request, 0.05);
            } else if ((received += bytes.size()) == 65536) {
                rig.reply(row.end, 0.05);
            }
            return true;
        };
        EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), row.outcome) << row.request.constData();
        EXPECT_EQ(rig.countSent(QByteArray("OK\x01", 3)), row.runs) << row.end.constData();
    }
}

// The four seconds for a request count from the return of the sector's last write.
TEST(RequestTransfer, RequestJustInsideTheLimitIsServedJustOutsideItRestarts) {
    struct Row {
        double requestAfter;
        UpdateOutcome outcome;
        int timeOuts;
    };
    for (const Row& row :
         {Row{3.9, UpdateOutcome::Success, 0}, Row{4.1, UpdateOutcome::Failed, 4}}) {
        sim::ModuleConfig config;
        config.sectorWriteTime = 0;
        config.replyDelay = row.requestAfter;
        ModuleRig rig(config);
        rig.useImage("DVB-GEN-1.bin", requestImage(2));
        EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), row.outcome) << row.requestAfter;
        EXPECT_EQ(rig.updater().ErrorCount, row.timeOuts);
        if (row.outcome == UpdateOutcome::Success) {
            // Sector 1 goes out one second after its request.
            EXPECT_NEAR(rig.writes[5].at - rig.writes[4].at, 3.9 + 1.0, 1e-6);
        }
    }
}

TEST(RequestTransfer, SilentModuleGetsThreeRestartsThenTheErrorBox) {
    ModuleRig rig;
    rig.intercept = [](const QByteArray&) { return true; };
    rig.useImage("DVB-GEN-1.bin", requestImage(2));
    rig.display().StartElapsedClock();
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Failed);
    // Four waits of 4 s, with 2 s before each of the three restarts.
    EXPECT_EQ(rig.sent(), QList<QByteArray>(4, QByteArray("OK\x02", 3)));
    EXPECT_NEAR(rig.sentAt(QByteArray("OK\x02", 3), 3), 3 * (4 + 2), 0.01);
    EXPECT_NEAR(rig.time.seconds(), 4 * 4 + 3 * 2, 0.01);
    EXPECT_EQ(rig.status.titles.count("Error"), 3);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.dialogs.shown[0].icon, MessageIcon::Critical);
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.timer1.isEnabled());
    // Each restart starts the clock again: only the last run's four seconds are shown.
    EXPECT_TRUE(rig.status.elapsed == "0:00:03" || rig.status.elapsed == "0:00:04")
        << qPrintable(rig.status.elapsed);
    EXPECT_FALSE(rig.updater().imageFileOpen());
    EXPECT_EQ(rig.status.activity, "Waiting for request...");
}

TEST(RequestTransfer, LostPortEndsWithTheErrorBoxAtOnce) {
    ModuleRig rig;
    rig.useImage("DVB-GEN-1.bin", requestImage(4));
    rig.time.after(2.0, [&rig] { rig.serial.vanish(); });
    EXPECT_EQ(rig.updater().SendFirmwareOnRequest(), UpdateOutcome::Failed);
    EXPECT_LT(rig.time.seconds(), 2.01);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.status.title, "Ready");
}

}  // namespace
}  // namespace tarvel::test
