// The acknowledged transfer: announced data blocks with their checksum, fill and write commands,
// the walk that skips blank sectors, the wait for each acknowledgement with the recovery of a
// module that does not answer, restarts after a recovery, and the ending of an update.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// Sector 0 holds data in blocks 0..9, sector 1 only in block 63.
QByteArray sparseImage() {
    return ackImage(2,
                    [](int sector, int block) { return sector == 0 ? block <= 9 : block == 63; });
}

// The module's commands after the type code, with "data" for each block's 1025 bytes.
QList<QByteArray> commandsOf(const ModuleRig& rig) {
    QList<QByteArray> result;
    for (const QByteArray& write : rig.sent().mid(1))
        result << (write.size() == 1025 ? QByteArray("data") : write);
    return result;
}

// The transfer to a module that has just answered its probe.
EngineOutcome transfer(ModuleRig& rig, const QByteArray& image) {
    rig.useImage("DVB-SAT-1.bin", image);
    rig.module.receive(QByteArray("DVBSAT").repeated(5));
    rig.time.advance(0.1);
    return rig.phases().ack.SendFirmwareWithAck(rig.image, "DVBSAT").outcome;
}

struct AckTransfer : ::testing::Test {
    void run(const QByteArray& image, EngineOutcome expected = EngineOutcome::Success) {
        EXPECT_EQ(transfer(rig, image), expected);
    }
    ModuleRig rig{probedModule("DVBSAT")};
};

TEST_F(AckTransfer, SparseImageGoesOutExactlyAsTheWalkSays) {
    const QByteArray image = sparseImage();
    run(image);
    QList<QByteArray> expected;
    for (int block = 0; block <= 9; ++block)
        expected << cmd('e', block) << "data";
    for (int block = 10; block <= 63; ++block)
        expected << cmd('f', block);
    expected << cmd('b', 19);
    for (int block = 0; block <= 62; ++block)
        expected << cmd('f', block);
    expected << cmd('e', 63) << "data" << cmd('b', 20) << "q";
    EXPECT_EQ(rig.sent().first(), "DVBSAT");
    EXPECT_EQ(commandsOf(rig), expected);
    EXPECT_TRUE(rig.module.flash() == image.mid(64));
    EXPECT_EQ(rig.status.activities.first(), "Waiting for response...");
    for (const char* text :
         {"Sending Sector 19   Block 0", "Fill Sector 19   Block 10", "Writing Sector 19",
          "Fill Sector 20   Block 62", "Sending Sector 20   Block 63", "Writing Sector 20"})
        EXPECT_TRUE(rig.status.activities.contains(text)) << text;
}

// Once a sector ends in a blank block the walk skips to the last sector; a sector that ends in
// data leads to the next. Module sectors 19 to 255 go on the wire as one byte each.
TEST(AckWalk, WritesTheSectorsTheWalkVisits) {
    QList<QByteArray> allSectors;
    for (int sector = 19; sector <= 255; ++sector)
        allSectors << cmd('b', sector);
    const struct {
        QByteArray image;
        QList<QByteArray> writes;
    } rows[] = {
        {ackImage(4, [](int sector, int block) { return sector == 0 && block < 63; }),
         {cmd('b', 19), cmd('b', 22)}},
        {ackImage(237, [](int, int block) { return block == 63; }), allSectors},
    };
    for (const auto& row : rows) {
        ModuleRig rig(probedModule("DVBSAT"));
        EXPECT_EQ(transfer(rig, row.image), EngineOutcome::Success);
        QList<QByteArray> writes;
        for (const QByteArray& command : commandsOf(rig)) {
            if (command.startsWith('b'))
                writes << command;
        }
        EXPECT_EQ(writes, row.writes);
        EXPECT_TRUE(rig.module.flash() == row.image.mid(64, rig.module.flash().size()));
    }
}

// The write command is acknowledged with "W!K!": "K!" alone is no acknowledgement, while an
// acknowledgement may come amid other text.
TEST_F(AckTransfer, WriteWantsWkAndAcknowledgementsMayComeAmidOtherText) {
    rig.intercept = [&, written = false](const QByteArray& bytes) mutable {
        if (bytes == cmd('f', 10))
            rig.reply("abK!cd");
        else if (bytes == cmd('b', 19) && !written)
            rig.reply("K!");
        else
            return false;
        written = written || bytes == cmd('b', 19);
        return true;
    };
    run(sparseImage());
    EXPECT_EQ(rig.countSent(cmd('f', 10)), 3);  // in sector 0, again after the restart, sector 1
    EXPECT_EQ(rig.countSent(cmd('b', 19)), 2);
    EXPECT_TRUE(rig.status.titles.contains("Error"));
    EXPECT_TRUE(rig.module.flash() == sparseImage().mid(64));
}

// After a restart the progress starts again from 0 and climbs with the new walk: it never jumps
// back to where the failed walk was, and never shows 100 % while blocks are still going out.
TEST(AckRestart, ProgressStartsAgainFromZeroAndReachesAHundredOnlyAtTheEnd) {
    struct Row {
        const char* what;
        int refusedReply;   // the module answers "E!" to the data of this block
        int countedBefore;  // blocks the failed walk counted
    };
    // After "R!": two replies per data block, one per fill and write command; the data of the
    // second block gets the 4th reply, that of the last (sector 1, block 63) the 140th.
    for (const Row& row : {Row{"second block", 4, 1}, Row{"last block", 140, 10}}) {
        sim::ModuleConfig config = probedModule("DVBSAT");
        config.errorAtReply = row.refusedReply;
        ModuleRig rig(config);
        EXPECT_EQ(transfer(rig, sparseImage()), EngineOutcome::Success);
        SCOPED_TRACE(row.what);
        // Start-up's ready state and the transfer's start, the failed walk, the restart, the new
        // walk, the ready state.
        QList<int> expected{0, 0};
        QStringList percents{"0%", "0%"};
        const QStringList shown = {" 9%",  " 18%", " 27%", " 36%", " 45%", " 54%",
                                   " 63%", " 72%", " 81%", " 90%", " 100%"};
        for (int block = 1; block <= row.countedBefore; ++block) {
            expected << block * 1024;
            percents << shown[block - 1];
        }
        expected << 0;
        percents << "0%";
        for (int block = 1; block <= 11; ++block) {
            expected << block * 1024;
            percents << shown[block - 1];
        }
        EXPECT_EQ(rig.status.progressValues, expected << 0);
        EXPECT_EQ(rig.status.percents, percents << "0%");
        EXPECT_TRUE(rig.module.flash() == sparseImage().mid(64));
    }
}

TEST_F(AckTransfer, RecoveryDuringTheLastWriteRestartsInsteadOfQuitting) {
    rig.intercept = [&, refused = false](const QByteArray& bytes) mutable {
        if (bytes != cmd('b', 20) || refused)
            return false;
        refused = true;
        rig.reply("E!");
        return true;
    };
    run(sparseImage());
    EXPECT_EQ(rig.countSent(cmd('b', 19)), 2);
    EXPECT_EQ(rig.countSent(cmd('b', 20)), 2);
    EXPECT_EQ(rig.countSent("q"), 1);
    EXPECT_EQ(rig.sent().last(), "q");
}

// A module that fails the same step again after every recovery is given up at its third failure
// in a row; a silent one by the recovery. Either way the host does not quit the transfer.
TEST(AckGivingUp, ModuleLostAgainAfterEveryRecoveryOrSilentIsGivenUp) {
    for (const QByteArray& refused : {cmd('e', 0), QByteArray()}) {  // empty: every write
        ModuleRig rig(probedModule("DVBSAT"));
        rig.intercept = [&](const QByteArray& bytes) {
            if (!refused.isEmpty() && bytes != refused)
                return false;
            if (!refused.isEmpty())
                rig.reply("E!");
            return true;
        };
        EXPECT_EQ(transfer(rig, sparseImage()), EngineOutcome::Error);
        EXPECT_EQ(rig.countSent(cmd('e', 0)), refused.isEmpty() ? 1 : 3);
        EXPECT_EQ(rig.countSent("q"), 0);
        EXPECT_EQ(rig.dialogs.shown, QList{kUpdateErrorBox});
        EXPECT_EQ(rig.status.title, "Ready");
        // (A recovery that gives up leaves the image to StartUpdate to close.)
        EXPECT_TRUE(refused.isEmpty() || !rig.phases().update.image().isOpen());
    }
}

// Both transfers end alike: the clock stops, two seconds later the success word, three seconds
// after that the ready state.
TEST(TransferEnding, SuccessWordAfterTwoSecondsThenReadyAfterThree) {
    for (const bool acknowledged : {false, true}) {
        ModuleRig rig(acknowledged ? probedModule("DVBSAT") : announcingModule());
        rig.files.add(Rig::imagePath("DVB-GEN-1.bin"), requestImage(1));
        rig.files.add(Rig::imagePath("DVB-SAT-1.bin"), sparseImage());
        ASSERT_EQ(rig.updater().StartUpdate(), EngineOutcome::Success);
        // The end: "q" from the host, or "EN" from the module.
        const double end = acknowledged ? rig.sentAt("q", 1) : rig.replies.last().at;
        ASSERT_GT(end, 0);
        const QList<ShownStatus>& shown = rig.status.statuses;
        ASSERT_GE(shown.size(), 2);
        const ShownStatus& success = shown[shown.size() - 2];
        EXPECT_EQ(success.word, "Update Successful / Update erfolgreich");
        EXPECT_NEAR(success.at - end, 2.0, 0.01) << (acknowledged ? "ack" : "request");
        EXPECT_EQ(shown.last().word, "Ready");
        EXPECT_NEAR(shown.last().at - success.at, 3.0, 1e-6);
        EXPECT_FALSE(rig.timer1.isEnabled());
        EXPECT_EQ(rig.status.activity, "");
        const int elapsed = rig.status.elapsed.mid(5).toInt();
        EXPECT_EQ(elapsed, static_cast<int>(end - 1.2)) << "the clock stopped at the end";
    }
}

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
        bool restarts;  // the walk starts again
        int floods, probes;
        double endsAt;
        const char* lastWord;
    };
    // clang-format off
    const Row rows[] = {
        {"reply amid other text", "xyW!K!", 1.9, 0, true, false, 0, 0, 1.9, "Ready"},
        {"error reply", "E!", 0.1, 0, true, true, 0, 0, 2.0, "Error"},
        {"flood answered", "E!", 0, 3, true, true, 3, 1, 2.04, "Error"},
        {"talks but never back", "??", 0, 1, false, false, 2, 2 * 501, 12.04, "Ready"},
        {"silent", {}, 0, 0, false, false, 1025, 501, 17.26, "Ready"},
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
        EXPECT_EQ(!rig.phases().recovery.AwaitReply("W!K!").has_value(), row.back);
        EXPECT_EQ(rig.phases().recovery.restartPending(), row.restarts);
        EXPECT_EQ(rig.countSent("e"), row.floods);
        EXPECT_EQ(rig.countSent("DVBTER"), row.probes);
        EXPECT_EQ(rig.writes.size(), row.floods + row.probes);
        EXPECT_NEAR(rig.time.seconds(), row.endsAt, 0.005);
        EXPECT_EQ(rig.status.statuses.last().word, row.lastWord);
        EXPECT_EQ(rig.status.statuses.last().color, row.restarts ? 0x0000FFu : 0u);
        EXPECT_EQ(rig.dialogs.shown, row.back ? QList<ShownMessage>{} : QList{kUpdateErrorBox});
        EXPECT_EQ(rig.timer1.isEnabled(), row.back);
    }
}

}  // namespace
}  // namespace tarvel::test
