// The port object: characters reach ReceiveBuffer in whole replies, and Output returns only when
// its bytes are with the driver.
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

struct OpenLink : ::testing::Test {
    void SetUp() override {
        rig.load({1});
        rig.form->link.com_Click(1);
    }
    SerialLink& link() { return rig.form->link; }
    Rig rig;
};

TEST_F(OpenLink, LoneFirstCharacterWaitsForItsPartner) {
    rig.serial.deliver("U", 0.0);
    rig.serial.deliver("P", 0.030);
    rig.time.advance(0.029);
    EXPECT_TRUE(link().ReceiveBuffer.isEmpty());
    rig.time.advance(0.001);
    EXPECT_EQ(link().ReceiveBuffer, "UP");
}

TEST_F(OpenLink, LoneCharacterThatCompletesAPairIsNotHeldBack) {
    rig.serial.deliver("W!K", 0.0);
    rig.serial.deliver("!", 0.005);
    rig.time.advance(0.01);
    EXPECT_EQ(link().ReceiveBuffer, "W!K!");
}

TEST_F(OpenLink, RepliesSplitIntoSingleCharactersArriveInPairs) {
    for (int i = 0; i < 4; ++i)
        rig.serial.deliver(QByteArray(1, "W!K!"[i]), 0.001 * i);
    rig.time.advance(0.0015);
    EXPECT_EQ(link().ReceiveBuffer, "W!");
    rig.time.advance(0.01);
    EXPECT_EQ(link().ReceiveBuffer, "W!K!");
}

TEST_F(OpenLink, ANewRequestStartsANewPair) {
    rig.serial.deliver("abc");
    rig.time.advance(0.01);
    ASSERT_EQ(link().ReceiveBuffer, "abc");
    link().ReceiveBuffer.clear();
    ASSERT_TRUE(link().send("q"));
    rig.serial.deliver("K");
    rig.time.advance(0.01);
    EXPECT_TRUE(link().ReceiveBuffer.isEmpty());
    rig.serial.deliver("!");
    rig.time.advance(0.01);
    EXPECT_EQ(link().ReceiveBuffer, "K!");
}

TEST_F(OpenLink, BinaryCharactersPassUnchanged) {
    QByteArray all;
    for (int code = 0; code < 256; ++code)
        all += static_cast<char>(code);
    rig.serial.deliver(all);
    rig.time.advance(0.01);
    EXPECT_EQ(link().ReceiveBuffer, all);
    ASSERT_TRUE(link().send(all));
    EXPECT_EQ(rig.serial.sent(), all);
}

TEST_F(OpenLink, OutputReturnsOnlyWhenTheLineHasTakenTheBytes) {
    rig.serial.lineBytesPerSecond = 11520;
    const double start = rig.time.seconds();
    ASSERT_TRUE(link().send(QByteArray(16384, 'A')));
    EXPECT_EQ(rig.serial.bytesToWrite(), 0);
    EXPECT_NEAR(rig.time.seconds() - start, 16384 / 11520.0, 0.06);
}

TEST_F(OpenLink, OutputKeepsTheWindowAliveAndSeesReplies) {
    rig.serial.lineBytesPerSecond = 11520;
    rig.serial.deliver("OK", 0.5);
    ASSERT_TRUE(link().send(QByteArray(11520, 'A')));
    EXPECT_EQ(link().ReceiveBuffer, "OK");
}

TEST_F(OpenLink, OutputEndsWhenThePortVanishesMidWrite) {
    rig.serial.lineBytesPerSecond = 11520;
    rig.time.after(0.2, [this] { rig.serial.vanish(); });
    EXPECT_FALSE(link().send(QByteArray(65536, 'A')));
    EXPECT_LT(rig.time.seconds(), 1.0);
    EXPECT_FALSE(link().MSComm1.PortOpen());
}

TEST(CommControlClosed, OutputOnAClosedPortFails) {
    Rig rig;
    rig.load({});
    EXPECT_FALSE(rig.form->link.send("XX"));
    EXPECT_TRUE(rig.serial.sent().isEmpty());
}

}  // namespace
}  // namespace tarvel::test
