// The simulated module: what it answers the host, byte for byte, and what lands in its flash;
// and the simulator's refusal of options it cannot play.
#include "sim/ModuleModel.h"
#include "sim/SimOptions.h"
#include "tests/support/Rig.h"

#include <gtest/gtest.h>

namespace tarvel::test {
namespace {

using sim::ModuleConfig;

QByteArray pattern(int size, int variant) {
    QByteArray bytes(size, '\0');
    for (int i = 0; i < size; ++i)
        bytes[i] = static_cast<char>((i * 13 + i / 251 + variant * 71) & 0xFF);
    return bytes;
}
QByteArray erased(int size) {
    return QByteArray(size, '\xff');
}

struct Step {
    QByteArray host;    // empty: the module starts its test mode
    QByteArray module;  // what it says within a second
};

TEST(ModuleModel, AnswersTheHostAsAModuleDoes) {
    ModuleConfig switchedOff;
    switchedOff.switchOffRounds = 2;
    const QByteArray a = pattern(1024, 1), b = pattern(1024, 2), c = pattern(1024, 3);
    QByteArray badSum = withXor(c);
    badSum[1024] = static_cast<char>(badSum[1024] ^ 1);
    const QByteArray walked = a + erased(65536 - 1024) + erased(63 * 1024) + b;
    const QByteArray sat = "DVBSAT";
    ModuleConfig testMode;
    testMode.kind = ModuleConfig::Kind::TestMode;
    const struct {
        const char* what;
        ModuleConfig config;
        QList<Step> steps;
        QByteArray flash;
    } rows[] = {
        // clang-format off
        {"echoes while switched off", switchedOff,
         {{"XXXXX", ""}, {"XXXXXXX", QByteArray(12, 'X')},
          {QByteArray(12, 'X'), QByteArray(12, 'X')}, {QByteArray(12, 'X'), "UP"}, {"OKX", "OK"}},
         {}},
        {"answers only its own probe", probedModule("DVBSCI"),
         {{QByteArray(12, 'X'), ""}, {"q", ""}, {sat.repeated(5), ""},
          {QByteArray("DVBSLV").repeated(5), ""}, {QByteArray("DVBSCI").repeated(5), "R!"}},
         {}},
        {"walks data and fill blocks into its sectors", probedModule("DVBSAT"),
         {{sat.repeated(5), "R!"}, {sat, ""}, {cmd('e', 0), "K!"}, {withXor(a), "K!"},
          {cmd('e', 2), "K!"}, {withXor(c), "K!"}, {cmd('f', 2), "K!"}, {cmd('f', 1), "K!"},
          {cmd('b', 19), "W!K!"}, {cmd('e', 63), "K!"}, {withXor(b), "K!"},
          {cmd('b', 20), "W!K!"}, {"q", ""}},
         walked},
        {"refuses a wrong checksum, keeps replies in order", probedModule("DVBSAT"),
         {{sat.repeated(5), "R!"}, {sat, ""}, {cmd('e', 0), "K!"}, {badSum, "E!"},
          {cmd('b', 19) + cmd('f', 1), "W!K!K!"}},
         erased(65536)},
        {"gets lost and comes back on a probe", probedModule("DVBSAT"),
         {{sat.repeated(5), "R!"}, {sat, ""}, {"Z", "E!"}, {cmd('e', 0), ""}, {"DVBTER", "R!"},
          {cmd('f', 0), "K!"}, {cmd('e', 64), "E!"}, {sat, "R!"}},
         {}},
        {"passes the communication test", testMode, {{"", "UP"}, {"OK\x01", "OK"}}, {}},
        // clang-format on
    };
    for (const auto& row : rows) {
        VirtualTime time;
        sim::ModuleModel model(row.config);
        QByteArray said;
        model.transmit = [&said](const QByteArray& bytes) { said += bytes; };
        model.schedule = [&time](double delay, std::function<void()> action) {
            time.after(delay, std::move(action));
        };
        for (const Step& step : row.steps) {
            if (step.host.isEmpty())
                model.startTestMode();
            for (qsizetype at = 0; at < step.host.size(); at += 1000)
                model.receive(step.host.mid(at, 1000));  // in pieces, as a port hands them over
            time.advance(1.0);
            EXPECT_EQ(std::exchange(said, {}), step.module)
                << row.what << ", after " << ::testing::PrintToString(step.host);
        }
        EXPECT_TRUE(model.flash() == row.flash) << row.what;
    }
}

TEST(SimOptions, RefusesWhatItCannotPlayAndTakesTheRest) {
    const struct {
        QStringList arguments;
        QString error;  // empty: taken
    } rows[] = {
        {{"--type", "DVBTER", "--baud", "115200", "--flash", "f.bin"}, {}},
        {{"--bogus"}, "Unknown option 'bogus'."},
        {{"--baud", "fast"}, "invalid value for --baud: fast"},
        {{"--silent-at", "-1"}, "invalid value for --silent-at: -1"},
        {{"--type", "DVB"}, "--type takes a six-letter code"},
        {{"--announce", "UPX"}, "--announce takes a two-letter code"},
        {{"--announce", "UP", "--test-mode"}, "choose one of --announce, --type and --test-mode"},
        {{"--replay", "no-such.log"}, "no-such.log: it does not exist"},
        {{"--replay", "a.log", "--silent-at", "3"}, "--silent-at does not go with --replay"},
        {{"--replay-speed", "0"}, "--replay-speed goes with --replay"},
    };
    for (const auto& row : rows) {
        QString output;
        int exitCode = -1;
        const auto options = sim::parseSimOptions(QStringList{"tarvel-module-sim"} + row.arguments,
                                                  &output, &exitCode);
        EXPECT_EQ(options.has_value(), row.error.isEmpty()) << qPrintable(row.arguments.join(' '));
        EXPECT_EQ(output, row.error);
        EXPECT_EQ(exitCode, row.error.isEmpty() ? 0 : 2);
        if (options) {
            EXPECT_EQ(options->module.kind, ModuleConfig::Kind::Probed);
            EXPECT_EQ(options->bytesPerSecond, 11520);
            EXPECT_EQ(options->flashFile, "f.bin");
        }
    }
}

}  // namespace
}  // namespace tarvel::test
