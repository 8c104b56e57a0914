#include "tests/soak/SoakCase.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <random>

namespace tarvel::test {

namespace {

constexpr int kSectorSize = 65536;
constexpr int kBlockSize = 1024;
constexpr int kBlocksPerSector = 64;
constexpr int kHeaderSize = 64;
constexpr double kLineRate = 11520;  // 115200 baud, ten bits a byte

const std::array<QByteArray, 6> kAnnouncements = {"UP", "SA", "TE", "SL", "SC", "TC"};
const std::array<QByteArray, 7> kTypes = {"DVBSAT", "DVBSLV", "DVBTER", "DVBSCI",
                                          "DVBSCR", "DVBSCO", "DVBTCI"};
// Around the host's waits: 0.2 s switch check, 0.5 s per probe, 1 s announcement, 2 s reply,
// 4 s request, 10 s recovery.
const std::array<double, 14> kNearTimeOuts = {0.15, 0.25, 0.45, 0.55, 0.95, 1.05, 1.9,
                                              2.1,  3.9,  4.1,  9.9,  10.1, 1.95, 4.05};

// Draws from the case's generator by hand, so that a case number means the same case with
// every standard library.
class Draw {
  public:
    explicit Draw(int number) : engine_(static_cast<std::mt19937::result_type>(number)) {}
    int below(int bound) { return static_cast<int>(engine_() % static_cast<unsigned>(bound)); }
    bool chance(double probability) { return unit() < probability; }
    double between(double low, double high) { return low + (high - low) * unit(); }
    template <typename T, size_t N>
    const T& pick(const std::array<T, N>& items) {
        return items[static_cast<size_t>(below(static_cast<int>(N)))];
    }
    QByteArray bytes(int size) {
        QByteArray result(size, '\0');
        for (char& byte : result)
            byte = static_cast<char>(engine_() & 0xFF);
        return result;
    }

  private:
    double unit() { return engine_() / 4294967296.0; }
    std::mt19937 engine_;
};

bool isBlank(const QByteArray& block) {
    for (const char byte : block) {
        if (byte != '\xff')
            return false;
    }
    return true;
}

QByteArray ackBlock(const QByteArray& image, int sector, int block) {
    return image.mid(kHeaderSize + sector * kSectorSize + block * kBlockSize, kBlockSize);
}

// The host's walk: once a sector ends in a blank block it jumps to the last sector.
void walkSectors(SoakCase& c) {
    c.visited = QList<bool>(c.sectors, false);
    c.dataBlocks = 0;
    c.cleanReplies = 1;  // "R!"
    bool lastBlank = false;
    for (int sector = 0; sector < c.sectors; ++sector) {
        if (lastBlank)
            sector = c.sectors - 1;
        c.visited[sector] = true;
        for (int block = 0; block < kBlocksPerSector; ++block) {
            lastBlank = isBlank(ackBlock(c.image, sector, block));
            c.dataBlocks += lastBlank ? 0 : 1;
            c.cleanReplies += lastBlank ? 1 : 2;  // "K!" to the fill, or to announcement and data
        }
        ++c.cleanReplies;  // "W!K!"
    }
}

// Data, blank, or blank but for one byte; sometimes a sector ends blank and the walk skips.
QByteArray makeAckImage(Draw& draw, int sectors) {
    const double dataShare = draw.pick(std::array<double, 4>{0.1, 0.4, 0.7, 0.95});
    QByteArray image = draw.bytes(kHeaderSize);
    for (int block = 0; block < sectors * kBlocksPerSector; ++block) {
        if (draw.chance(dataShare)) {
            QByteArray data = draw.bytes(kBlockSize);
            data[0] = static_cast<char>(data[0] & 0x7F);  // never blank by chance
            image += data;
        } else if (draw.chance(0.1)) {
            QByteArray nearlyBlank(kBlockSize, '\xff');
            nearlyBlank[draw.below(kBlockSize)] = static_cast<char>(draw.below(255));
            image += nearlyBlank;
        } else {
            image += QByteArray(kBlockSize, '\xff');
        }
    }
    return image;
}

int aimAt(Draw& draw, int cleanReplies) {
    // The first and the last replies are where the protocols change state.
    if (draw.chance(0.25)) {
        const std::array<int, 4> edges = {0, 1, cleanReplies - 2, cleanReplies - 1};
        return std::max(0, draw.pick(edges));
    }
    return draw.below(cleanReplies);
}

// The request-driven transfer carries no checksum, echo or sector number: a reply that comes
// later than the request time-out and the restart pause together (4 s + 2 s) can let a
// restart's "OK"+N land in the module's sector data unseen by either side. That is the
// protocol's limit, not the program's, so its late replies stay within that window.
constexpr double kLatestRequestDrivenReply = 5.9;

AimedFault makeFault(Draw& draw, SoakFault kind, int cleanReplies, bool acknowledged) {
    AimedFault fault{kind, aimAt(draw, cleanReplies)};
    switch (kind) {
        case SoakFault::SilentForATime:
            fault.seconds = draw.chance(0.5) ? draw.pick(kNearTimeOuts) : draw.between(0.05, 15.0);
            break;
        case SoakFault::Late:
            fault.seconds = draw.chance(0.75) ? draw.pick(kNearTimeOuts) : draw.between(0, 12.0);
            if (!acknowledged)
                fault.seconds = std::min(fault.seconds, kLatestRequestDrivenReply);
            break;
        case SoakFault::DropReply:
            fault.count = 1 + draw.below(4);  // as many as the reply has: all of it
            break;
        case SoakFault::DropHost:
            fault.count = draw.chance(0.8) ? 1 + draw.below(8) : 1 + draw.below(3000);
            break;
        default:
            break;
    }
    return fault;
}

void applyFault(sim::ModuleConfig& module, const AimedFault& fault) {
    switch (fault.kind) {
        case SoakFault::SilentForATime:
        case SoakFault::SilentForGood:
            module.silentAtReply = fault.atReply;
            module.silentFor = fault.kind == SoakFault::SilentForGood ? -1 : fault.seconds;
            break;
        case SoakFault::Error:
            module.errorAtReply = fault.atReply;
            break;
        case SoakFault::Garbage:
            module.garbageAtReply = fault.atReply;
            break;
        case SoakFault::DropReply:
        case SoakFault::DropHost:
            module.dropAtReply = fault.atReply;
            module.dropCount = fault.count;
            module.dropFromHost = fault.kind == SoakFault::DropHost;
            break;
        case SoakFault::Late:
            module.lateAtReply = fault.atReply;
            module.lateBy = fault.seconds;
            break;
        case SoakFault::HangUp:
            module.hangUpAtReply = fault.atReply;
            break;
    }
}

// Two faults of the same kind would share the model's one setting for it.
bool sharesSetting(SoakFault a, SoakFault b) {
    auto slot = [](SoakFault kind) {
        if (kind == SoakFault::SilentForGood)
            return static_cast<int>(SoakFault::SilentForATime);
        if (kind == SoakFault::DropHost)
            return static_cast<int>(SoakFault::DropReply);
        return static_cast<int>(kind);
    };
    return slot(a) == slot(b);
}

}  // namespace

const char* faultName(SoakFault fault) {
    switch (fault) {
        case SoakFault::SilentForATime:
            return "silent for a time";
        case SoakFault::SilentForGood:
            return "silent for good";
        case SoakFault::Error:
            return "E! instead";
        case SoakFault::Garbage:
            return "garbage before";
        case SoakFault::DropReply:
            return "reply characters lost";
        case SoakFault::DropHost:
            return "host bytes lost";
        case SoakFault::Late:
            return "late reply";
        case SoakFault::HangUp:
            return "hang-up";
    }
    return "?";
}

SoakCase makeSoakCase(int number) {
    Draw draw(number);
    SoakCase c;
    c.number = number;
    c.acknowledged = draw.chance(0.5);
    c.sectors = 1 + draw.below(3);
    c.lineBytesPerSecond = draw.chance(0.5) ? kLineRate : 0;
    sim::ModuleConfig& module = c.module;
    module.switchOffRounds = draw.chance(0.15) ? 1 + draw.below(2) : 0;
    module.replyDelay = draw.between(0.002, 0.1);
    module.sectorWriteTime = draw.between(0.02, 0.5);

    if (c.acknowledged) {
        module.kind = sim::ModuleConfig::Kind::Probed;
        module.type = draw.pick(kTypes);
        c.imageName =
            QStringLiteral("DVB-%1-soak.bin").arg(QString::fromLatin1(module.type.mid(3)));
        c.image = makeAckImage(draw, c.sectors);
        walkSectors(c);
        if (c.dataBlocks == 0) {
            c.image[kHeaderSize] = '\0';  // at least one data block
            walkSectors(c);
        }
    } else {
        module.kind = sim::ModuleConfig::Kind::Announcing;
        module.announcement = draw.pick(kAnnouncements);
        c.imageName = QStringLiteral("DVB-GEN-soak.bin");
        c.image = draw.bytes(c.sectors * kSectorSize);
        c.visited = QList<bool>(c.sectors, true);
        c.cleanReplies = 1 + c.sectors + 1;  // the announcement, a request per sector, "EN"
    }

    const int faultCount = draw.pick(std::array<int, 5>{0, 1, 1, 2, 2});
    while (c.faults.size() < faultCount) {
        const auto kind = static_cast<SoakFault>(draw.below(kSoakFaultKinds));
        bool taken = false;
        for (const AimedFault& fault : c.faults)
            taken = taken || sharesSetting(fault.kind, kind);
        if (taken)
            continue;
        c.faults.append(makeFault(draw, kind, c.cleanReplies, c.acknowledged));
        applyFault(module, c.faults.last());
    }
    return c;
}

std::string describe(const SoakCase& c) {
    char text[512];
    std::string result;
    if (c.acknowledged) {
        std::string visited;
        for (int s = 0; s < c.sectors; ++s) {
            if (c.visited[s])
                visited += (visited.empty() ? "" : ",") + std::to_string(s);
        }
        std::snprintf(text, sizeof text,
                      "case %d: probed %s module, acknowledged transfer of %s: %d sectors "
                      "(visited: %s), %d data blocks",
                      c.number, c.module.type.constData(), qPrintable(c.imageName), c.sectors,
                      visited.c_str(), c.dataBlocks);
    } else {
        std::snprintf(text, sizeof text,
                      "case %d: module announcing \"%s\", request-driven transfer of %s: %d "
                      "sectors",
                      c.number, c.module.announcement.constData(), qPrintable(c.imageName),
                      c.sectors);
    }
    result += text;
    std::snprintf(text, sizeof text,
                  "; line %s; reply delay %.3f s, sector write %.3f s, switch OFF for %d "
                  "rounds; %d replies when all goes well; faults:",
                  c.lineBytesPerSecond > 0 ? "115200 baud" : "instant", c.module.replyDelay,
                  c.module.sectorWriteTime, c.module.switchOffRounds, c.cleanReplies);
    result += text;
    if (c.faults.isEmpty())
        result += " none";
    for (const AimedFault& fault : c.faults) {
        std::snprintf(text, sizeof text, " [%s at reply %d", faultName(fault.kind), fault.atReply);
        result += text;
        if (fault.kind == SoakFault::SilentForATime || fault.kind == SoakFault::Late) {
            std::snprintf(text, sizeof text, ", %.3f s", fault.seconds);
            result += text;
        }
        if (fault.kind == SoakFault::DropReply || fault.kind == SoakFault::DropHost)
            result += ", " + std::to_string(fault.count) + " characters";
        result += "]";
    }
    return result;
}

bool flashHoldsImage(const SoakCase& c, const QByteArray& flash) {
    const int offset = c.acknowledged ? kHeaderSize : 0;
    for (int sector = 0; sector < c.sectors; ++sector) {
        if (!c.visited[sector])
            continue;  // never sent: the host leaves such sectors as they were
        const QByteArray written = flash.mid(sector * kSectorSize, kSectorSize);
        if (written != c.image.mid(offset + sector * kSectorSize, kSectorSize))
            return false;
    }
    return true;
}

}  // namespace tarvel::test
