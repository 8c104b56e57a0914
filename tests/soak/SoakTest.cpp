// Thousands of randomised whole updates on virtual time against the simulator's module model,
// misbehaving at random replies. A case number decides its whole case. Each case runs once
// without faults, which must succeed, and once with its faults; either run must end, in the
// ready state, and report success only with the image in the module's flash. A failing case
// prints its number and the host's writes; TARVEL_SOAK_CASE=<n> runs case n alone.
#include "tests/support/Rig.h"

#include <QLoggingCategory>

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <optional>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tarvel::test {
namespace {

constexpr int kCases = 2000;
constexpr double kCancelAt = 900;  // far beyond any update that ends by itself
// The request-driven transfer has no checksum or echo: a reply later than the request time-out
// and the restart pause together (4 s + 2 s) can let a restart's "OK"+N land unseen in the
// module's sector data. That is the protocol's limit, so its late replies stay within it.
constexpr double kLatestRequestDrivenReply = 5.9;
// Around the host's waits: 0.2 s switch check, 0.5 s probe, 1 s, 2 s reply, 4 s request, 10 s.
constexpr std::array<double, 12> kNearTimeOuts = {0.15, 0.25, 0.45, 0.55, 0.95, 1.05,
                                                  1.95, 2.05, 3.95, 4.05, 9.9,  10.1};

enum Fault { SilentForATime, SilentForGood, Error, Garbage, DropReply, DropHost, Late, HangUp };
constexpr const char* kFaultNames[] = {"silent for a time", "silent for good", "E! instead",
                                       "garbage before",    "reply lost",      "host bytes lost",
                                       "late reply",        "hang-up"};
constexpr int kFaultKinds = 8;

// Draws by hand from the generator, so a case number means the same case everywhere.
struct Draw {
    explicit Draw(int number) : engine(static_cast<std::mt19937::result_type>(number)) {}
    int below(int bound) { return static_cast<int>(engine() % static_cast<unsigned>(bound)); }
    double between(double low, double high) {
        return low + (high - low) * (engine() / 4294967296.0);
    }
    bool chance(double probability) { return between(0, 1) < probability; }
    QByteArray bytes(int size) {
        QByteArray result(size, '\0');
        std::generate(result.begin(), result.end(), [this] { return static_cast<char>(engine()); });
        return result;
    }
    std::mt19937 engine;
};

struct Case {
    sim::ModuleConfig module;
    bool acknowledged = false;
    QByteArray image;
    double lineRate = 0;
    QList<std::pair<Fault, int>> faults;  // kind, the reply it strikes
};

// Data, blank and nearly blank blocks. Once a sector ends blank the host skips to the last
// sector, so the sectors skipped are made blank: the flash must then equal the image.
QByteArray ackImage(Draw& draw, int sectors) {
    const double dataShare = std::array<double, 4>{0.1, 0.4, 0.7, 0.95}[draw.below(4)];
    QByteArray body;
    for (int block = 0; block < sectors * 64; ++block) {
        QByteArray data(1024, '\xff');
        if (draw.chance(dataShare) || block == 0)
            data = draw.bytes(1024).replace('\xff', '\x7f');
        else if (draw.chance(0.1))
            data[draw.below(1024)] = static_cast<char>(draw.below(255));
        body += data;
    }
    for (int sector = 0; sector + 2 < sectors; ++sector) {
        if (body.mid(sector * 65536 + 63 * 1024, 1024) == QByteArray(1024, '\xff'))
            body.replace((sector + 1) * 65536, 65536, QByteArray(65536, '\xff'));
    }
    return draw.bytes(64) + body;
}

Case baseCase(Draw& draw) {
    Case c;
    c.acknowledged = draw.chance(0.5);
    const int sectors = 1 + draw.below(3);
    c.lineRate = draw.chance(0.5) ? 11520 : 0;
    c.module.switchOffRounds = draw.chance(0.15) ? 1 + draw.below(2) : 0;
    c.module.replyDelay = draw.between(0.002, 0.1);
    c.module.sectorWriteTime = draw.between(0.02, 0.5);
    if (c.acknowledged) {
        c.module.kind = sim::ModuleConfig::Kind::Probed;
        c.module.type = kProbedTypes[draw.below(7)].code;
        c.image = ackImage(draw, sectors);
    } else {
        c.module.announcement = kAnnouncements[draw.below(6)];
        c.image = draw.bytes(sectors * 65536);
    }
    return c;
}

// Faults straight into the module's settings, aimed at replies of an update without them; the
// first and last replies, where the protocols change state, more often.
void addFaults(Draw& draw, Case& c, int cleanReplies) {
    const int count = std::array<int, 5>{0, 1, 1, 2, 2}[draw.below(5)];
    sim::ModuleConfig& m = c.module;
    while (c.faults.size() < count) {
        const auto kind = static_cast<Fault>(draw.below(kFaultKinds));
        const std::array<int, 4> edges = {0, 1, cleanReplies - 2, cleanReplies - 1};
        const int at =
            std::max(0, draw.chance(0.25) ? edges[draw.below(4)] : draw.below(cleanReplies));
        const double seconds =
            draw.chance(0.6) ? kNearTimeOuts[draw.below(12)] : draw.between(0.05, 12);
        std::optional<int>* const aimed[] = {&m.silentAtReply,  &m.silentAtReply, &m.errorAtReply,
                                             &m.garbageAtReply, &m.dropAtReply,   &m.dropAtReply,
                                             &m.lateAtReply,    &m.hangUpAtReply};
        if (aimed[kind]->has_value())
            continue;  // one fault per setting
        *aimed[kind] = at;
        if (kind == SilentForATime || kind == SilentForGood)
            m.silentFor = kind == SilentForGood ? -1 : seconds;
        if (kind == DropReply || kind == DropHost) {
            m.dropFromHost = kind == DropHost;
            m.dropCount =
                kind == DropReply || draw.chance(0.8) ? 1 + draw.below(8) : 1 + draw.below(3000);
        }
        if (kind == Late)
            m.lateBy = c.acknowledged ? seconds : std::min(seconds, kLatestRequestDrivenReply);
        c.faults.append({kind, at});
    }
}

struct Ending {
    EngineOutcome outcome = EngineOutcome::Busy;
    int replies = 0;
    QStringList problems;
    QList<HostWrite> writes;
};

Ending runCase(const Case& c) {
    ModuleRig rig(c.module);
    rig.surface.widthTw = rig.surface.heightTw = 15;  // a one-pixel indicator paints quickly
    rig.form->Activity1.Resize();
    rig.serial.lineBytesPerSecond = c.lineRate;
    const QString name =
        c.acknowledged ? "DVB-" + c.module.type.mid(3) + "-soak.bin" : "DVB-GEN-soak.bin";
    rig.files.add(Rig::imagePath(name), c.image);
    rig.time.setWaitLimit(5'000'000);
    rig.time.at(kCancelAt, [&rig] { rig.updater().cancel(); });
    Ending result;
    auto problem = [&result](const QString& text) { result.problems << text; };
    try {
        result.outcome = rig.updater().StartUpdate();
    } catch (const std::runtime_error& error) {
        problem(QStringLiteral("runaway: %1").arg(error.what()));
    }
    result.replies = rig.module.replies();
    result.writes = rig.writes;
    // What the flash must hold: the image as it is, past its header for the acknowledged kind.
    const QByteArray expected = c.acknowledged ? c.image.mid(64) : c.image;
    const QByteArray written =
        rig.module.flash().left(expected.size()).leftJustified(expected.size(), '\xff');
    const bool errorBox = !rig.dialogs.shown.isEmpty() &&
                          rig.dialogs.shown.last().text == "Update error\rUpdate Fehler";
    const bool successShown = rig.status.titles.contains("Update Successful / Update erfolgreich");
    switch (result.outcome) {
        case EngineOutcome::Success:
            if (written != expected)
                problem("false success: the flash differs from the image");
            if (!successShown || errorBox)
                problem("success without its word, or with the error box");
            break;
        case EngineOutcome::Error:
            if (!errorBox || successShown)
                problem("failed without the error box, or after the success word");
            break;
        case EngineOutcome::Cancelled:  // identification may go on for ever, a transfer must not
            if (rig.status.titles.contains("Running"))
                problem("the transfer still ran after 900 s");
            break;
        case EngineOutcome::NoImage:  // a late "R!" is taken for the next probe's type
            if (!c.acknowledged || rig.updater().identifiedAs() == c.module.type)
                problem("no image, although the module's image is there");
            break;
        default:
            problem("unexpected outcome");
    }
    if (rig.status.title != "Ready" || rig.status.busyPointer || rig.timer1.isEnabled())
        problem("not back in the ready state, pointer and clock at rest");
    for (const int value : rig.status.progressValues) {
        if (value < 0 || value > rig.status.progressMax)
            problem(
                QStringLiteral("progress %1 outside 0..%2").arg(value).arg(rig.status.progressMax));
    }
    return result;
}

// The host's writes, a run of equal ones (the "e" flood, the probes) on one line.
std::string writesOf(const Ending& r) {
    std::string text;
    for (int i = 0; i < r.writes.size();) {
        int same = i + 1;
        while (same < r.writes.size() && r.writes[same].bytes == r.writes[i].bytes)
            ++same;
        std::ostringstream line;
        PrintTo(r.writes[i].bytes, &line);
        text += QStringLiteral("%1 ").arg(r.writes[i].at, 10, 'f', 3).toStdString() + line.str() +
                (same - i > 1 ? " x" + std::to_string(same - i) : "") + "\n";
        i = same;
    }
    return text;
}

std::string report(int number, const Case& c, const Ending& r, const char* which) {
    std::string text = "case " + std::to_string(number) + " (" + which + "): " +
                       (c.acknowledged ? "probed " + c.module.type.toStdString()
                                       : "announcing " + c.module.announcement.toStdString()) +
                       ", " + std::to_string(c.image.size()) + " bytes, faults:";
    for (const auto& [kind, at] : c.faults)
        text += std::string(" [") + kFaultNames[kind] + " at reply " + std::to_string(at) + "]";
    for (const QString& problem : r.problems)
        text += "\n  problem: " + problem.toStdString();
    return text + "\nreplay: TARVEL_SOAK_CASE=" + std::to_string(number) +
           " build/tests/soak_tests\n" + writesOf(r);
}

TEST(Soak, RandomisedUpdatesEndRightAndFaultsStrike) {
    const char* only = std::getenv("TARVEL_SOAK_CASE");
    if (only)
        QLoggingCategory::setFilterRules(QStringLiteral("tarvel.sim.info=true"));
    const int first = only ? std::atoi(only) : 0, last = only ? first : kCases - 1;
    std::array<int, kFaultKinds> struck{};
    int failing = 0;
    for (int number = first; number <= last; ++number) {
        Draw draw(number);
        Case c = baseCase(draw);
        const Ending clean = runCase(c);
        if (clean.outcome != EngineOutcome::Success || !clean.problems.isEmpty()) {
            ++failing;
            ADD_FAILURE() << report(number, c, clean, "without faults");
            continue;
        }
        addFaults(draw, c, clean.replies);
        if (c.faults.isEmpty())
            continue;
        const Ending faulty = runCase(c);
        for (const auto& [kind, at] : c.faults)
            struck[kind] += faulty.replies > at ? 1 : 0;
        if (!faulty.problems.isEmpty() && ++failing <= 3)
            ADD_FAILURE() << report(number, c, faulty, "with faults");
        if (only)
            std::printf("%s", report(number, c, faulty, "with faults").c_str());
    }
    EXPECT_EQ(failing, 0);
    for (int kind = 0; kind < kFaultKinds && !only; ++kind)
        EXPECT_GE(struck[kind], 50) << kFaultNames[kind] << " struck too rarely";
}

}  // namespace
}  // namespace tarvel::test
