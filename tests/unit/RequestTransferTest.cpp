// The request-driven transfer: the module asks for every sector with "OK" and ends with "EN";
// a silent module gets the whole transfer again, three times at most.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// The sector count and the sector numbers go out as one byte each, up to 255.
TEST(RequestTransfer, SectorsGoOutWholeWithProgressAfterEachBlock) {
    for (const int sectors : {3, 255}) {
        ModuleRig rig;
        const QByteArray image = requestImage(sectors);
        rig.useImage("DVB-GEN-1.bin", image);
        ASSERT_EQ(rig.phases().request.SendFirmwareOnRequest(rig.image).outcome,
                  EngineOutcome::Success);
        const QList<QByteArray> sent = rig.sent();
        ASSERT_EQ(sent.size(), 1 + sectors * 4);
        EXPECT_EQ(sent[0], "OK" + QByteArray(1, static_cast<char>(sectors)));
        for (int block = 0; block < sectors * 4; ++block)
            EXPECT_TRUE(sent[1 + block] == image.mid(block * 16384, 16384)) << "block " << block;
        EXPECT_TRUE(rig.module.flash() == image);
        EXPECT_EQ(rig.status.progressMax, sectors * 4);
        QList<int> progress{0, 0};
        QStringList activities{"Waiting for request..."};
        for (int sector = 0; sector < sectors; ++sector) {
            for (int block = 0; block < 4; ++block) {
                progress << sector * 4 + block + 1;
                activities << QStringLiteral("Sending Sector %1   Block %2").arg(sector).arg(block);
            }
            activities << QStringLiteral("Writing Sector %1").arg(sector);
        }
        EXPECT_EQ(rig.status.progressValues, progress << 0);
        EXPECT_EQ(rig.status.activities, activities << "");
        EXPECT_FALSE(rig.phases().update.image().isOpen());
        EXPECT_TRUE(rig.dialogs.shown.isEmpty());
        if (sectors == 3) {
            EXPECT_EQ(rig.status.percents,
                      (QStringList{"0%", "0%", " 8%", " 16%", " 25%", " 33%", " 41%", " 50%",
                                   " 58%", " 66%", " 75%", " 83%", " 91%", " 100%", "0%"}));
        }
    }
}

// What counts as the module's request (its last two characters) and end mark (its first two).
TEST(RequestTransfer, RequestIsTheEndOfWhatCameAndTheEndMarkItsStart) {
    struct Row {
        QByteArray request;
        QByteArray end;
        EngineOutcome outcome;
        int runs;
    };
    const Row rows[] = {
        {"OK", "EN", EngineOutcome::Success, 1},   {"xyOK", "EN", EngineOutcome::Success, 1},
        {"OKOK", "EN", EngineOutcome::Success, 1}, {"OKxy", "EN", EngineOutcome::Error, 4},
        {"OK", "ENxy", EngineOutcome::Success, 1}, {"OK", "xEN", EngineOutcome::Error, 4}};
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
        EXPECT_EQ(rig.phases().request.SendFirmwareOnRequest(rig.image).outcome, row.outcome)
            << row.request.constData();
        EXPECT_EQ(rig.countSent(QByteArray("OK\x01", 3)), row.runs) << row.end.constData();
    }
}

// The four seconds for a request count from the return of the sector's last write.
TEST(RequestTransfer, RequestJustInsideTheLimitIsServedJustOutsideItRestarts) {
    struct Row {
        double requestAfter;
        EngineOutcome outcome;
        int runs;
    };
    for (const Row& row :
         {Row{3.9, EngineOutcome::Success, 1}, Row{4.1, EngineOutcome::Error, 4}}) {
        sim::ModuleConfig config;
        config.sectorWriteTime = 0;
        config.replyDelay = row.requestAfter;
        ModuleRig rig(config);
        rig.useImage("DVB-GEN-1.bin", requestImage(2));
        EXPECT_EQ(rig.phases().request.SendFirmwareOnRequest(rig.image).outcome, row.outcome)
            << row.requestAfter;
        EXPECT_EQ(rig.countSent(QByteArray("OK\x02", 3)), row.runs);
        if (row.outcome == EngineOutcome::Success) {
            // Sector 1 goes out one second after its request.
            EXPECT_NEAR(rig.writes[5].at - rig.writes[4].at, 3.9 + 1.0, 1e-6);
        }
    }
}

// A driver may say a write is done only after the module has answered it (an overlapped write
// on a loaded Windows machine): the request that came meanwhile is the module's, not stale.
TEST(RequestTransfer, ARequestThatComesBeforeTheWriteIsReportedDoneIsServed) {
    ModuleRig rig;
    rig.serial.writeReportedLate = 0.05;
    const QByteArray image = requestImage(2);
    rig.useImage("DVB-GEN-1.bin", image);
    EXPECT_EQ(rig.phases().request.SendFirmwareOnRequest(rig.image).outcome,
              EngineOutcome::Success);
    EXPECT_EQ(rig.countSent(QByteArray("OK\x02", 3)), 1);
    EXPECT_TRUE(rig.module.flash() == image);
}

TEST(RequestTransfer, SilentModuleGetsThreeRestartsThenTheErrorBox) {
    ModuleRig rig;
    rig.intercept = [](const QByteArray&) { return true; };
    rig.useImage("DVB-GEN-1.bin", requestImage(2));
    rig.display().StartElapsedClock();
    EXPECT_EQ(rig.phases().request.SendFirmwareOnRequest(rig.image).outcome, EngineOutcome::Error);
    // Four waits of 4 s, with 2 s before each of the three restarts.
    EXPECT_EQ(rig.sent(), QList<QByteArray>(4, QByteArray("OK\x02", 3)));
    EXPECT_NEAR(rig.sentAt(QByteArray("OK\x02", 3), 3), 3 * (4 + 2), 0.01);
    EXPECT_NEAR(rig.time.seconds(), 4 * 4 + 3 * 2, 0.01);
    EXPECT_EQ(rig.status.titles.count("Error"), 3);
    EXPECT_EQ(rig.dialogs.shown, QList{kUpdateErrorBox});
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.timer1.isEnabled());
    // Each restart starts the clock again: only the last run's four seconds are shown.
    EXPECT_TRUE(rig.status.elapsed == "0:00:03" || rig.status.elapsed == "0:00:04")
        << qPrintable(rig.status.elapsed);
    EXPECT_FALSE(rig.phases().update.image().isOpen());
    EXPECT_EQ(rig.status.activity, "Waiting for request...");
}

}  // namespace
}  // namespace tarvel::test
