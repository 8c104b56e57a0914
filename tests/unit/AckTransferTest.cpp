// The acknowledged transfer: data blocks with their checksum, fill and write commands, the walk
// that skips blank sectors, and restarts after a recovery.
#include "status/StatusTexts.h"
#include "tests/support/UpdateRig.h"

#include <QElapsedTimer>

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

// A module that acknowledges every command of the walk; hooks let a test bend single replies.
struct AckModule {
    explicit AckModule(UpdateRig& rig) : rig(rig) {
        rig.module = [this](const QByteArray& bytes) { receive(bytes); };
    }
    void receive(const QByteArray& bytes) {
        const int index = commands++;
        if (override && override(index, bytes))
            return;
        const char command = bytes.isEmpty() ? 0 : bytes[0];
        if (bytes.size() == 1025 || ((command == 'e' || command == 'f') && bytes.size() == 2))
            rig.reply("K!");
        else if (command == 'b' && bytes.size() == 2)
            rig.reply("W!K!");
        else if (bytes.startsWith("DVBTER"))
            rig.reply("R!");
    }
    UpdateRig& rig;
    int commands = 0;
    // Returns true when it has answered (or chosen silence) for command index itself.
    std::function<bool(int index, const QByteArray& bytes)> override;
};

// Commands the host sent after the type code, without the data blocks' contents.
QList<QByteArray> commandsOf(const UpdateRig& rig) {
    QList<QByteArray> result;
    for (const QByteArray& write : rig.sent().mid(1))
        result << (write.size() == 1025 ? QByteArray("data") : write);
    return result;
}

QByteArray withXor(const QByteArray& block) {
    char sum = 0;
    for (char byte : block)
        sum ^= byte;
    return block + sum;
}

QByteArray cmd(char command, int value) {
    return QByteArray(1, command) + QByteArray(1, static_cast<char>(value));
}

struct AckTransfer : ::testing::Test {
    void useImage(const QByteArray& image) {
        rig.files.add(Rig::imagePath("DVB-SAT-1.bin"), image);
        rig.updater().FirmwareFile = Rig::imagePath("DVB-SAT-1.bin");
        rig.updater().ModuleType = "DVBSAT";
        this->image = image;
    }
    UpdateRig rig;
    AckModule module{rig};
    QByteArray image;
};

// Sector 0 holds data in blocks 0..9, sector 1 only in block 63.
QByteArray sparseTwoSectorImage() {
    return ackImage(2,
                    [](int sector, int block) { return sector == 0 ? block <= 9 : block == 63; });
}

TEST_F(AckTransfer, SparseImageGoesOutExactlyAsTheWalkSays) {
    useImage(sparseTwoSectorImage());
    EXPECT_EQ(rig.updater().CountDataBlocks(), 11);
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Success);
    EXPECT_EQ(rig.status.progressMax, 11 * 1024);

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
    EXPECT_EQ(rig.status.highestProgress, 11 * 1024);
    EXPECT_EQ(rig.status.percents.at(rig.status.percents.size() - 2), " 100%");
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_TRUE(rig.status.titles.contains(texts::successWord()));
}

TEST_F(AckTransfer, DataBlocksCarryTheirBytesAndXor) {
    useImage(sparseTwoSectorImage());
    rig.updater().SendFirmwareWithAck();
    const QList<QByteArray> writes = rig.sent();
    EXPECT_EQ(writes.at(2), withXor(image.mid(64, 1024)));
    EXPECT_EQ(writes.at(writes.size() - 3), withXor(image.mid(64 + 65536 + 63 * 1024, 1024)));
}

TEST_F(AckTransfer, SectorEndingBlankSkipsToTheLastSector) {
    useImage(ackImage(4, [](int sector, int block) { return sector == 0 && block < 63; }));
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Success);
    QList<QByteArray> writes;
    for (const QByteArray& command : commandsOf(rig)) {
        if (command.startsWith('b'))
            writes << command;
    }
    EXPECT_EQ(writes, (QList<QByteArray>{cmd('b', 19), cmd('b', 22)}));
}

TEST_F(AckTransfer, OneByteBelowBlankMakesADataBlockWithItsXor) {
    QByteArray image(64, 'H');
    QByteArray block(1024, static_cast<char>(0xFF));
    block[500] = static_cast<char>(0xFE);
    image += block + QByteArray(63 * 1024, static_cast<char>(0xFF));
    useImage(image);
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Success);
    EXPECT_EQ(rig.sent().at(1), cmd('e', 0));
    EXPECT_EQ(rig.sent().at(2), block + '\x01');
}

TEST_F(AckTransfer, StatusNamesModuleSectorsFromNineteen) {
    useImage(sparseTwoSectorImage());
    rig.updater().SendFirmwareWithAck();
    EXPECT_EQ(rig.status.activities.first(), "Waiting for response...");
    EXPECT_TRUE(rig.status.activities.contains("Sending Sector 19   Block 0"));
    EXPECT_TRUE(rig.status.activities.contains("Fill Sector 19   Block 10"));
    EXPECT_TRUE(rig.status.activities.contains("Writing Sector 20"));
}

TEST_F(AckTransfer, AcknowledgementInsideOtherTextCounts) {
    module.override = [this](int, const QByteArray& bytes) {
        if (bytes.size() == 2 && bytes[0] == 'e') {
            rig.reply("abK!cd");
            return true;
        }
        return false;
    };
    useImage(sparseTwoSectorImage());
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Success);
    EXPECT_TRUE(rig.dialogs.shown.isEmpty());
}

TEST_F(AckTransfer, RejectedBlockRestartsTheWalkAndProgressStaysWithinItsMaximum) {
    bool rejected = false;
    int dataBlocks = 0;
    module.override = [&](int, const QByteArray& bytes) {
        // The module refuses the third data block once.
        if (bytes.size() == 1025 && ++dataBlocks == 3 && !rejected) {
            rejected = true;
            rig.reply("E!");
            return true;
        }
        return false;
    };
    useImage(sparseTwoSectorImage());
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Success);
    EXPECT_TRUE(rejected);
    EXPECT_LE(rig.status.highestProgress, 11 * 1024);
    EXPECT_TRUE(rig.status.titles.contains("Error"));
    // The walk starts again at block 0 of sector 0 and sends everything once more.
    EXPECT_EQ(rig.countSent(cmd('e', 0)), 2);
    EXPECT_EQ(rig.countSent(cmd('b', 20)), 1);
}

TEST_F(AckTransfer, RecoveryDuringTheLastWriteRestartsInsteadOfQuitting) {
    int lastWrites = 0;
    module.override = [&](int, const QByteArray& bytes) {
        if (bytes == cmd('b', 20) && ++lastWrites == 1) {
            rig.reply("E!");  // the write failed
            return true;
        }
        return false;
    };
    useImage(sparseTwoSectorImage());
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Success);
    EXPECT_EQ(rig.countSent(cmd('b', 20)), 2);
    EXPECT_EQ(rig.countSent(cmd('b', 19)), 2);
    EXPECT_EQ(rig.countSent("q"), 1);
    EXPECT_EQ(rig.sent().last(), "q");
}

TEST_F(AckTransfer, RecoveryAtAnAnnouncementIsNotForgottenByTheDataReply) {
    int announcements = 0;
    module.override = [&](int, const QByteArray& bytes) {
        if (bytes == cmd('e', 5) && ++announcements == 1) {
            rig.reply("E!");  // rejected announcement; the data that follows is acknowledged
            return true;
        }
        return false;
    };
    useImage(sparseTwoSectorImage());
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Success);
    // The restart happens at the next block: block 0 is announced again.
    EXPECT_EQ(rig.countSent(cmd('e', 0)), 2);
}

TEST_F(AckTransfer, ModuleLostAgainAfterEveryRecoveryIsGivenUp) {
    // Every announcement is refused: each recovery is followed by another, and the walk never
    // gets past its first block.
    module.override = [this](int, const QByteArray& bytes) {
        if (bytes.size() == 2 && bytes[0] == 'e') {
            rig.reply("E!");
            return true;
        }
        return false;
    };
    useImage(sparseTwoSectorImage());
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Failed);
    EXPECT_EQ(rig.countSent(cmd('e', 0)), 4);  // the first try and three restarts
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.updater().imageFileOpen());
}

TEST_F(AckTransfer, SilentModuleIsAbandonedWithTheErrorBox) {
    module.override = [&](int index, const QByteArray&) { return index >= 4; };
    useImage(sparseTwoSectorImage());
    rig.form->status.StartElapsedClock();
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::Failed);
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_EQ(rig.dialogs.shown[0].text, "Update error\rUpdate Fehler");
    EXPECT_EQ(rig.status.title, "Ready");
    EXPECT_FALSE(rig.timer1.isEnabled());
    EXPECT_EQ(rig.countSent("q"), 0);
}

struct RefusedAckImage : AckTransfer, ::testing::WithParamInterface<QByteArray> {};

TEST_P(RefusedAckImage, IsRefusedBeforeTheTypeCodeGoesOut) {
    useImage(GetParam());
    EXPECT_EQ(rig.updater().SendFirmwareWithAck(), UpdateOutcome::NoImage);
    EXPECT_TRUE(rig.writes.isEmpty());
    ASSERT_EQ(rig.dialogs.shown.size(), 1);
    EXPECT_TRUE(rig.dialogs.shown[0].text.contains("DVB-SAT-1.bin"));
    EXPECT_EQ(rig.status.title, "Ready");
}

INSTANTIATE_TEST_SUITE_P(
    Images, RefusedAckImage,
    ::testing::Values(QByteArray(40, 'H'),                                  // short header
                      QByteArray(64, 'H'),                                  // no sector
                      ackImage(1, [](int, int) { return true; }) + "tail",  // ragged length
                      ackImage(2, [](int, int) { return false; }),          // nothing but 0xFF
                      QByteArray(64 + 238 * 65536, 'A')));                  // too many sectors

TEST(CountDataBlocksSpeed, LargestImageTakesWellUnderATenthOfASecond) {
    UpdateRig rig;
    rig.files.add(Rig::imagePath("big.bin"), ackImage(237, [](int, int) { return true; }));
    rig.updater().FirmwareFile = Rig::imagePath("big.bin");
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(rig.updater().CountDataBlocks(), 237 * 64);
    const qint64 ms = timer.elapsed();
    std::printf("CountDataBlocks over 237 sectors: %lld ms\n", static_cast<long long>(ms));
    EXPECT_LT(ms, 100);
}

}  // namespace
}  // namespace tarvel::test
