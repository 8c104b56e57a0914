#include "sim/ModuleModel.h"
#include "sim/tests/Printing.h"

#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <utility>

namespace tarvel::sim {
namespace {

constexpr int kSector = 65536;
constexpr int kBlock = 1024;
const QByteArray kRound(12, 'X');
const QByteArray kProbeOrder[] = {"DVBSAT", "DVBSLV", "DVBTER", "DVBSCI",
                                  "DVBSCR", "DVBSCO", "DVBTCI"};

// The model on a virtual clock: scheduled actions wait in a queue and time jumps to them, so
// the tests run without sleeping and every delay is exact.
class Line {
  public:
    explicit Line(ModuleConfig config) : model(std::move(config)) {
        model.transmit = [this](const QByteArray& bytes) { sent_ += bytes; };
        model.schedule = [this](double delay, std::function<void()> action) {
            queue_.emplace(std::make_pair(now + delay, sequence_++), std::move(action));
        };
        model.hangUp = [this] { ++hangUps; };
    }

    // Lets `seconds` pass, running what falls due.
    void advance(double seconds) {
        const double end = now + seconds;
        while (!queue_.empty() && queue_.begin()->first.first <= end) {
            auto next = queue_.begin();
            now = next->first.first;
            auto action = std::move(next->second);
            queue_.erase(next);
            action();
        }
        now = end;
    }
    // Sends bytes, lets `seconds` pass and returns what the module sent meanwhile.
    QByteArray exchange(const QByteArray& bytes, double seconds = 1.0) {
        model.receive(bytes);
        advance(seconds);
        return take();
    }
    QByteArray take() { return std::exchange(sent_, {}); }

    ModuleModel model;
    double now = 0;
    int hangUps = 0;

  private:
    QByteArray sent_;
    std::uint64_t sequence_ = 0;
    std::map<std::pair<double, std::uint64_t>, std::function<void()>> queue_;
};

QByteArray pattern(int size, int variant) {
    QByteArray bytes(size, '\0');
    quint32 state = 2463534242u + static_cast<quint32>(variant);
    for (char& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<char>(state);
    }
    return bytes;
}

QByteArray withXor(const QByteArray& block) {
    char sum = 0;
    for (const char c : block)
        sum ^= c;
    return block + sum;
}

QByteArray command(char name, int argument) {
    return QByteArray(1, name) + static_cast<char>(argument);
}

QByteArray erased(int size) {
    return QByteArray(size, '\xff');
}

ModuleConfig announcing() {
    return ModuleConfig{};
}

ModuleConfig probed(const QByteArray& type = "DVBTER") {
    ModuleConfig config;
    config.kind = ModuleConfig::Kind::Probed;
    config.type = type;
    return config;
}

// Sends a sector in uneven pieces, as a serial port hands them over.
QByteArray sendSector(Line& line, const QByteArray& sector) {
    for (int offset = 0; offset < sector.size(); offset += 1000)
        EXPECT_EQ(line.exchange(sector.mid(offset, 1000), 0.001), QByteArray());
    line.advance(1.0);
    return line.take();
}

// Identifies a probed module and sends its type code: the walk is ready for commands.
void enterWalk(Line& line, const QByteArray& type = "DVBTER") {
    ASSERT_EQ(line.exchange(kRound), QByteArray());
    ASSERT_EQ(line.exchange("q"), QByteArray());
    ASSERT_EQ(line.exchange(type.repeated(5)), "R!");
    ASSERT_EQ(line.exchange(type), QByteArray());
}

// The host's recovery: single "e" until the module says anything, then probes until "E!"/"R!".
QByteArray recover(Line& line) {
    QByteArray heard;
    for (int i = 0; i < 1025 && heard.isEmpty(); ++i)
        heard += line.exchange("e", 0.01);
    for (int i = 0; i < 501; ++i) {
        heard += line.exchange("DVBTER", 0.01);
        if (heard.contains("E!") || heard.contains("R!"))
            break;
    }
    line.advance(1.0);
    return heard + line.take();
}

// --- Announcing module ---

TEST(AnnouncingModule, TransfersTwoSectorsIntoFlash) {
    Line line(announcing());
    EXPECT_EQ(line.exchange(kRound), "UP");
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x02'), "OK");

    const QByteArray first = pattern(kSector, 1);
    const QByteArray second = pattern(kSector, 2);
    EXPECT_EQ(sendSector(line, first), "OK");
    EXPECT_FALSE(line.model.finished());
    EXPECT_EQ(sendSector(line, second), "EN");

    EXPECT_TRUE(line.model.finished());
    EXPECT_TRUE(line.model.flash() == first + second);
    EXPECT_EQ(line.model.replies(), 4);
}

TEST(AnnouncingModule, AnswersAfterTheSectorWriteTime) {
    ModuleConfig config = announcing();
    config.replyDelay = 0.005;
    config.sectorWriteTime = 0.05;
    Line line(config);
    line.exchange(kRound);
    line.exchange(QByteArray("OK") + '\x01');
    EXPECT_EQ(line.exchange(pattern(kSector, 3), 0.054), QByteArray());
    line.advance(0.002);
    EXPECT_EQ(line.take(), "EN");
}

TEST(AnnouncingModule, EchoesRoundsWhileSwitchedOff) {
    ModuleConfig config = announcing();
    config.switchOffRounds = 2;
    Line line(config);
    EXPECT_EQ(line.exchange("XXXXX"), QByteArray());
    EXPECT_EQ(line.exchange("XXXXXXX"), kRound);
    EXPECT_EQ(line.exchange(kRound), kRound);
    EXPECT_EQ(line.exchange(kRound), "UP");
    EXPECT_EQ(line.model.replies(), 1);
}

TEST(AnnouncingModule, IgnoresProbesAndAnnouncesAgainOnEveryRound) {
    Line line(announcing());
    EXPECT_EQ(line.exchange("q"), QByteArray());
    EXPECT_EQ(line.exchange(QByteArray("DVBSAT").repeated(5)), QByteArray());
    EXPECT_EQ(line.exchange(kRound), "UP");
    EXPECT_EQ(line.exchange(kRound), "UP");
}

TEST(AnnouncingModule, StartsOverWhenTheCountComesAgain) {
    ModuleConfig config = announcing();
    config.announcement = "SC";
    Line line(config);
    EXPECT_EQ(line.exchange(kRound), "SC");
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x01'), "OK");
    EXPECT_EQ(sendSector(line, pattern(kSector, 4)), "EN");

    EXPECT_EQ(line.exchange(kRound), "SC");
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x01'), "OK");
    const QByteArray again = pattern(kSector, 5);
    EXPECT_EQ(sendSector(line, again), "EN");
    EXPECT_TRUE(line.model.flash() == again);
}

TEST(AnnouncingModule, TakesACountThatLooksLikeAnX) {
    Line line(announcing());
    line.exchange(kRound);
    EXPECT_EQ(line.exchange(QByteArray("OK") + 'X'), "OK");
    EXPECT_EQ(line.model.replies(), 2);
}

// --- Probed module ---

TEST(ProbedModule, AnswersOnlyItsOwnProbe) {
    Line line(probed("DVBSCI"));
    EXPECT_EQ(line.exchange(kRound), QByteArray());
    EXPECT_EQ(line.exchange("q"), QByteArray());
    for (const QByteArray& type : kProbeOrder) {
        const QByteArray probe = type.repeated(5);
        line.model.receive(probe.left(13));
        const QByteArray answer = line.exchange(probe.mid(13), 0.5);
        EXPECT_EQ(answer, type == "DVBSCI" ? QByteArray("R!") : QByteArray()) << type.constData();
        if (!answer.isEmpty())
            break;
    }
    EXPECT_EQ(line.model.replies(), 1);
}

TEST(ProbedModule, EchoesRoundsWhileSwitchedOff) {
    ModuleConfig config = probed();
    config.switchOffRounds = 1;
    Line line(config);
    EXPECT_EQ(line.exchange(kRound), kRound);
    EXPECT_EQ(line.exchange(kRound), QByteArray());
    EXPECT_EQ(line.model.replies(), 0);
}

TEST(ProbedModule, WalkWritesDataAndFilledBlocks) {
    Line line(probed("DVBSAT"));
    enterWalk(line, "DVBSAT");

    const QByteArray a = pattern(kBlock, 10);
    const QByteArray b = pattern(kBlock, 11);
    const QByteArray c = pattern(kBlock, 12);
    EXPECT_EQ(line.exchange(command('e', 0)), "K!");
    EXPECT_EQ(line.exchange(withXor(a)), "K!");
    EXPECT_EQ(line.exchange(command('e', 2)), "K!");
    EXPECT_EQ(line.exchange(withXor(c)), "K!");
    EXPECT_EQ(line.exchange(command('f', 2)), "K!");  // a fill erases what was there
    EXPECT_EQ(line.exchange(command('f', 1)), "K!");
    EXPECT_EQ(line.exchange(command('b', 19), 0.05), QByteArray());
    line.advance(0.01);
    EXPECT_EQ(line.take(), "W!K!");

    EXPECT_EQ(line.exchange(command('e', 63)), "K!");
    EXPECT_EQ(line.exchange(withXor(b)), "K!");
    EXPECT_EQ(line.exchange(command('b', 20)), "W!K!");
    EXPECT_FALSE(line.model.finished());
    EXPECT_EQ(line.exchange("q"), QByteArray());
    EXPECT_TRUE(line.model.finished());

    const QByteArray expected = a + erased(kSector - kBlock) + erased(63 * kBlock) + b;
    EXPECT_TRUE(line.model.flash() == expected);
}

TEST(ProbedModule, SectorBufferStartsErasedForEachSector) {
    Line line(probed());
    enterWalk(line);
    line.exchange(command('e', 5));
    line.exchange(withXor(pattern(kBlock, 13)));
    EXPECT_EQ(line.exchange(command('b', 19)), "W!K!");
    EXPECT_EQ(line.exchange(command('b', 21)), "W!K!");
    EXPECT_EQ(line.model.flash().size(), 3 * kSector);
    EXPECT_TRUE(line.model.flash().mid(kSector) == erased(2 * kSector));
}

TEST(ProbedModule, WrongChecksumIsRefusedAndTheBlockDropped) {
    Line line(probed());
    enterWalk(line);
    QByteArray bad = withXor(pattern(kBlock, 14));
    bad[kBlock] = static_cast<char>(bad[kBlock] ^ 1);
    EXPECT_EQ(line.exchange(command('e', 0)), "K!");
    EXPECT_EQ(line.exchange(bad), "E!");
    EXPECT_EQ(line.exchange(command('f', 1)), "K!");
    EXPECT_EQ(line.exchange(command('b', 19)), "W!K!");
    EXPECT_TRUE(line.model.flash() == erased(kSector));
}

TEST(ProbedModule, RepliesKeepTheirOrderBehindASectorWrite) {
    Line line(probed());
    enterWalk(line);
    EXPECT_EQ(line.exchange(command('b', 19) + command('f', 0)), "W!K!K!");
}

TEST(ProbedModule, RecoversWhenTheFloodFillsAPendingBlock) {
    Line line(probed());
    enterWalk(line);
    EXPECT_EQ(line.exchange(command('e', 7)), "K!");
    EXPECT_EQ(line.exchange(pattern(600, 15), 2.0), QByteArray());  // the rest never comes

    EXPECT_EQ(recover(line), "E!E!R!");
    EXPECT_EQ(line.exchange(command('f', 0)), "K!");
    EXPECT_EQ(line.exchange(command('b', 19)), "W!K!");
    EXPECT_TRUE(line.model.flash() == erased(kSector));
}

TEST(ProbedModule, RecoversWhenTheFloodHitsTheCommandState) {
    Line line(probed());
    enterWalk(line);
    EXPECT_EQ(line.exchange("e", 0.01), QByteArray());
    EXPECT_EQ(line.exchange("e", 0.01), "E!");  // block 0x65 does not exist
    EXPECT_EQ(line.exchange("e", 0.01), QByteArray());
    EXPECT_EQ(line.exchange("DVBTER", 0.01), "R!");
    EXPECT_EQ(line.exchange(command('e', 0)), "K!");
}

TEST(ProbedModule, ComesBackOnItsOwnTypeCode) {
    Line line(probed("DVBSLV"));
    enterWalk(line, "DVBSLV");
    EXPECT_EQ(line.exchange("Z"), "E!");
    EXPECT_EQ(line.exchange(command('e', 0)), QByteArray());  // lost: ignored
    EXPECT_EQ(line.exchange("DVBSLV"), "R!");
    EXPECT_EQ(line.exchange(command('f', 0)), "K!");
}

TEST(ProbedModule, ShrugsOffAProbeThatCrossesItsAnswer) {
    Line line(probed());
    enterWalk(line);
    EXPECT_EQ(line.exchange(command('f', 64)), "E!");
    EXPECT_EQ(line.exchange("DVBTER"), "R!");
    EXPECT_EQ(line.exchange("DVBTER"), "E!R!");
    EXPECT_EQ(line.exchange(command('f', 0)), "K!");
}

// --- Test mode ---

TEST(TestModeModule, RequestsAndConfirms) {
    ModuleConfig config;
    config.kind = ModuleConfig::Kind::TestMode;
    Line line(config);
    line.model.startTestMode();
    line.advance(0.1);
    EXPECT_EQ(line.take(), "UP");
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x02'), QByteArray());
    EXPECT_FALSE(line.model.testPassed());
    EXPECT_EQ(line.exchange("O"), QByteArray());
    EXPECT_EQ(line.exchange("K"), QByteArray());
    EXPECT_EQ(line.exchange("\x01"), "OK");
    EXPECT_TRUE(line.model.testPassed());
    EXPECT_EQ(line.model.replies(), 2);
}

// --- Faults ---

TEST(Faults, SilenceDropsInputThenAwaitsTheCountAgain) {
    ModuleConfig config = announcing();
    config.silentAtReply = 2;  // UP, OK (sector 0), here: OK (sector 1)
    config.silentFor = 3.0;
    Line line(config);
    line.exchange(kRound);
    line.exchange(QByteArray("OK") + '\x02');
    EXPECT_EQ(sendSector(line, pattern(kSector, 20)), QByteArray());
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x02'), QByteArray());  // still silent
    line.advance(1.5);

    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x02'), "OK");
    const QByteArray first = pattern(kSector, 21);
    EXPECT_EQ(sendSector(line, first), "OK");
    EXPECT_TRUE(line.model.flash() == first);
}

TEST(Faults, SilenceForGood) {
    ModuleConfig config = announcing();
    config.silentAtReply = 0;
    Line line(config);
    EXPECT_EQ(line.exchange(kRound), QByteArray());
    line.advance(1000);
    EXPECT_EQ(line.exchange(kRound), QByteArray());
    EXPECT_EQ(line.model.replies(), 1);
}

TEST(Faults, ProbedSilenceEndsInTheCommandState) {
    ModuleConfig config = probed();
    config.silentAtReply = 1;  // the first "K!"
    config.silentFor = 1.0;
    Line line(config);
    enterWalk(line);
    EXPECT_EQ(line.exchange(command('e', 0), 2.0), QByteArray());
    EXPECT_EQ(recover(line), "E!R!");
    EXPECT_EQ(line.exchange(command('e', 0)), "K!");
}

TEST(Faults, ErrorDropsTheDataBlockOnce) {
    ModuleConfig config = probed();
    config.errorAtReply = 2;  // R!, K! (announce), here: K! (data)
    Line line(config);
    enterWalk(line);
    const QByteArray block = pattern(kBlock, 22);
    EXPECT_EQ(line.exchange(command('e', 0)), "K!");
    EXPECT_EQ(line.exchange(withXor(block)), "E!");
    EXPECT_EQ(line.exchange(command('b', 19)), "W!K!");
    EXPECT_TRUE(line.model.flash() == erased(kSector));

    EXPECT_EQ(line.exchange(command('e', 0)), "K!");
    EXPECT_EQ(line.exchange(withXor(block)), "K!");
    EXPECT_EQ(line.exchange(command('b', 19)), "W!K!");
    EXPECT_TRUE(line.model.flash().left(kBlock) == block);
}

TEST(Faults, ErrorInsteadOfARequestAwaitsTheCountAgain) {
    ModuleConfig config = announcing();
    config.errorAtReply = 1;
    Line line(config);
    EXPECT_EQ(line.exchange(kRound), "UP");
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x01'), "E!");
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x01'), "OK");
}

TEST(Faults, GarbageBeforeAReply) {
    ModuleConfig config = probed();
    config.garbageAtReply = 1;
    Line line(config);
    enterWalk(line);
    EXPECT_EQ(line.exchange(command('f', 0)), "#~K!");
    EXPECT_EQ(line.exchange(command('f', 1)), "K!");
}

TEST(Faults, HangUpInsteadOfAReply) {
    ModuleConfig config = announcing();
    config.hangUpAtReply = 1;
    Line line(config);
    EXPECT_EQ(line.exchange(kRound), "UP");
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x01'), QByteArray());
    EXPECT_EQ(line.hangUps, 1);
    EXPECT_EQ(line.exchange(kRound), QByteArray());
    EXPECT_EQ(line.hangUps, 1);
}

TEST(Faults, HangUpComesAfterTheRepliesBeforeIt) {
    ModuleConfig config = probed();
    config.hangUpAtReply = 2;
    Line line(config);
    enterWalk(line);
    EXPECT_EQ(line.exchange(command('b', 19) + command('f', 0), 0.01), QByteArray());
    EXPECT_EQ(line.hangUps, 0);
    line.advance(0.1);
    EXPECT_EQ(line.take(), "W!K!");
    EXPECT_EQ(line.hangUps, 1);
}

TEST(Faults, DroppedCharactersOfAReply) {
    ModuleConfig config = probed();
    config.dropAtReply = 1;
    config.dropCount = 1;
    Line line(config);
    enterWalk(line);
    EXPECT_EQ(line.exchange(command('f', 0)), "!");
    EXPECT_EQ(line.exchange(command('f', 1)), "K!");
    EXPECT_EQ(line.model.replies(), 3);
}

TEST(Faults, AReplyDroppedWholeStillCounts) {
    ModuleConfig config = announcing();
    config.dropAtReply = 0;
    config.dropCount = 5;
    Line line(config);
    EXPECT_EQ(line.exchange(kRound), QByteArray());
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x01'), "OK");  // it did announce itself
    EXPECT_EQ(line.model.replies(), 2);
}

TEST(Faults, DroppedCharactersAtTheEndMarkStillFinish) {
    ModuleConfig config = announcing();
    config.dropAtReply = 2;
    config.dropCount = 1;
    Line line(config);
    line.exchange(kRound);
    line.exchange(QByteArray("OK") + '\x01');
    EXPECT_EQ(sendSector(line, pattern(kSector, 30)), "N");
    EXPECT_TRUE(line.model.finished());
}

TEST(Faults, HostBytesLostAfterAReply) {
    ModuleConfig config = announcing();
    config.dropAtReply = 1;  // the request for sector 0: its first three bytes are lost
    config.dropCount = 3;
    config.dropFromHost = true;
    Line line(config);
    line.exchange(kRound);
    EXPECT_EQ(line.exchange(QByteArray("OK") + '\x01'), "OK");
    const QByteArray sector = pattern(kSector, 31);
    EXPECT_EQ(sendSector(line, sector), QByteArray());  // three bytes short
    EXPECT_EQ(line.exchange("abc"), "EN");
    EXPECT_TRUE(line.model.flash() == sector.mid(3) + "abc");
}

TEST(Faults, HostBytesLostAcrossPieces) {
    ModuleConfig config = probed();
    config.dropAtReply = 0;  // "R!": the type code and the next command are lost
    config.dropCount = 8;
    config.dropFromHost = true;
    Line line(config);
    ASSERT_EQ(line.exchange(kRound + "q"), QByteArray());
    ASSERT_EQ(line.exchange(QByteArray("DVBTER").repeated(5)), "R!");
    EXPECT_EQ(line.exchange("DVBTER"), QByteArray());
    EXPECT_EQ(line.exchange(command('f', 0)), QByteArray());
    EXPECT_EQ(line.exchange("DVBTER"), QByteArray());  // the type code, taken at last
    EXPECT_EQ(line.exchange(command('f', 1)), "K!");
}

TEST(Faults, LateReplyJustBeforeOrAfterATimeOut) {
    for (const double lateBy : {3.9, 4.1}) {
        ModuleConfig config = announcing();
        config.replyDelay = 0.005;
        config.lateAtReply = 1;
        config.lateBy = lateBy;
        Line line(config);
        line.exchange(kRound);
        EXPECT_EQ(line.exchange(QByteArray("OK") + '\x01', lateBy), QByteArray()) << lateBy;
        line.advance(0.01);
        EXPECT_EQ(line.take(), "OK") << lateBy;
    }
}

TEST(Faults, RepliesBehindALateOneKeepTheirOrder) {
    ModuleConfig config = probed();
    config.lateAtReply = 1;
    config.lateBy = 2.1;
    Line line(config);
    enterWalk(line);
    EXPECT_EQ(line.exchange(command('f', 0) + command('f', 1), 2.0), QByteArray());
    line.advance(0.2);
    EXPECT_EQ(line.take(), "K!K!");
    EXPECT_EQ(line.exchange(command('f', 2)), "K!");
}

}  // namespace
}  // namespace tarvel::sim
