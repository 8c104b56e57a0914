#include "sim/ModuleModel.h"

#include "sim/SimLog.h"

#include <algorithm>
#include <utility>

namespace tarvel::sim {

namespace {

constexpr qsizetype kSectorSize = 65536;
constexpr qsizetype kBlockSize = 1024;
constexpr int kBlocksPerSector = 64;
constexpr int kRoundLength = 12;       // 'X' per identification round
constexpr int kFirstWalkSector = 19;   // the walk numbers flash sector 0 as 19
constexpr qsizetype kTailLength = 30;  // a probe: the type code five times
constexpr char kErased = '\xff';

// The host's recovery probes with this code whatever the module's type.
const QByteArray kRecoveryProbe = "DVBTER";

}  // namespace

ModuleModel::ModuleModel(ModuleConfig config) : config_(std::move(config)) {
    switchOffRounds_ = config_.switchOffRounds;
    resetSectorBuffer();
}

void ModuleModel::receive(const QByteArray& bytes) {
    const char* data = bytes.constData();
    qsizetype left = bytes.size();
    // A fault may strike in the middle of a piece; what follows it is lost.
    while (left > 0 && !quiet_ && !silent_) {
        qsizetype used = 1;
        if (hostBytesToDrop_ > 0) {
            used = std::min(left, hostBytesToDrop_);
            hostBytesToDrop_ -= used;
        } else if (phase_ == Phase::SectorData) {
            used = takeSectorData(data, left);
        } else if (phase_ == Phase::BlockData) {
            used = takeBlockData(data, left);
        } else {
            handleByte(*data);
        }
        data += used;
        left -= used;
    }
}

void ModuleModel::startTestMode() {
    if (quiet_ || silent_)
        return;
    reply("UP", config_.replyDelay);
}

void ModuleModel::handleByte(char c) {
    tail_.append(c);
    if (tail_.size() > kTailLength)
        tail_.remove(0, tail_.size() - kTailLength);

    // With its setup switch OFF the module runs its normal firmware, which only echoes.
    if (switchOffRounds_ > 0) {
        if (completesXRound(c))
            echoRound();
        return;
    }
    switch (config_.kind) {
        case ModuleConfig::Kind::Announcing:
            handleAnnouncing(c);
            break;
        case ModuleConfig::Kind::Probed:
            handleProbed(c);
            break;
        case ModuleConfig::Kind::TestMode:
            handleTestMode(c);
            break;
    }
}

// Only the identification states get here; sector data is taken in bulk.
void ModuleModel::handleAnnouncing(char c) {
    if (completesOk(c)) {
        startTransfer(static_cast<unsigned char>(c));
        return;
    }
    if (!completesXRound(c))
        return;
    if (reply(config_.announcement, config_.replyDelay) != Outcome::Withheld) {
        phase_ = Phase::AwaitingCount;
        okProgress_ = 0;
    }
}

void ModuleModel::handleProbed(char c) {
    switch (phase_) {
        case Phase::Identifying:
            if (tail_.endsWith(config_.type.repeated(5)) &&
                reply("R!", config_.replyDelay) == Outcome::Sent) {
                identified_ = true;
                phase_ = Phase::TypeCode;
                typeCodeLeft_ = static_cast<int>(config_.type.size());
                resetSectorBuffer();
            }
            break;
        case Phase::TypeCode:
            if (--typeCodeLeft_ <= 0)
                phase_ = Phase::Command;
            break;
        case Phase::Command:
            if (c == 'e' || c == 'f' || c == 'b') {
                command_ = c;
                phase_ = c == 'b' ? Phase::SectorNumber : Phase::BlockNumber;
            } else if (c == 'q') {
                // The update is over; a new one would begin with the probes again.
                phase_ = Phase::Identifying;
                identified_ = false;
                finished_ = true;
                tail_.clear();
                qCInfo(lcSim, "finished: the host quit the walk");
            } else {
                becomeLost();
            }
            break;
        case Phase::BlockNumber:
        case Phase::SectorNumber:
            runCommand(command_, static_cast<unsigned char>(c));
            break;
        case Phase::Lost:
            // The tail still holds the byte that confused the module, so a probe that began
            // with it counts.
            if ((tail_.endsWith(kRecoveryProbe) || tail_.endsWith(config_.type)) &&
                reply("R!", config_.replyDelay) == Outcome::Sent) {
                phase_ = Phase::Command;
                resetSectorBuffer();
                qCInfo(lcSim, "back in the walk after a probe");
            }
            break;
        default:
            break;
    }
}

void ModuleModel::handleTestMode(char c) {
    if (!completesOk(c))
        return;
    if (c != '\x01') {
        okProgress_ = c == 'O' ? 1 : 0;
        return;
    }
    testPassed_ = true;
    qCInfo(lcSim, "communication test answered");
    reply("OK", config_.replyDelay);
}

qsizetype ModuleModel::takeSectorData(const char* data, qsizetype size) {
    const qsizetype used = std::min(size, kSectorSize - sector_.size());
    sector_.append(data, used);
    if (sector_.size() == kSectorSize)
        completeSector();
    return used;
}

qsizetype ModuleModel::takeBlockData(const char* data, qsizetype size) {
    const qsizetype used = std::min(size, kBlockSize + 1 - block_.size());
    block_.append(data, used);
    if (block_.size() == kBlockSize + 1)
        completeBlock();
    return used;
}

bool ModuleModel::completesXRound(char c) {
    if (c != 'X' || ++xCount_ < kRoundLength)
        return false;
    xCount_ = 0;
    return true;
}

// True for the byte that follows "OK": the argument of the host's command.
bool ModuleModel::completesOk(char c) {
    if (okProgress_ == 2) {
        okProgress_ = 0;
        return true;
    }
    okProgress_ = c == 'O' ? 1 : (c == 'K' && okProgress_ == 1 ? 2 : 0);
    return false;
}

// An echo is not a reply: it counts for no fault.
void ModuleModel::echoRound() {
    --switchOffRounds_;
    Output echo;
    echo.bytes = QByteArray(kRoundLength, 'X');
    enqueue(std::move(echo), config_.replyDelay);
}

void ModuleModel::startTransfer(int sectorCount) {
    qCInfo(lcSim, "transfer of %d sectors begins", sectorCount);
    sectorCount_ = sectorCount;
    sectorIndex_ = 0;
    requestSector(config_.replyDelay);
}

// Asks for the next sector, or closes the transfer with "EN" after the last one.
ModuleModel::Outcome ModuleModel::requestSector(double delay) {
    const bool done = sectorIndex_ >= sectorCount_;
    const Outcome outcome = reply(done ? "EN" : "OK", delay, done);
    if (outcome == Outcome::Withheld)
        return outcome;
    // A refused request leaves the host to time out and start over with "OK" + N.
    if (outcome == Outcome::Rejected)
        phase_ = Phase::AwaitingCount;
    else
        phase_ = done ? Phase::Identifying : Phase::SectorData;
    sector_.clear();
    sector_.reserve(kSectorSize);
    xCount_ = 0;
    okProgress_ = 0;
    return outcome;
}

void ModuleModel::completeSector() {
    const QByteArray data = std::exchange(sector_, {});
    const int index = sectorIndex_++;
    // The answer waits for the write; a refused or withheld answer means the sector was lost.
    if (requestSector(config_.sectorWriteTime + config_.replyDelay) == Outcome::Sent)
        storeSector(index, data);
}

void ModuleModel::runCommand(char command, unsigned char argument) {
    phase_ = Phase::Command;
    if (command == 'b') {
        if (argument < kFirstWalkSector) {
            becomeLost();
            return;
        }
        if (reply("W!K!", config_.sectorWriteTime + config_.replyDelay) == Outcome::Sent) {
            storeSector(argument - kFirstWalkSector, sectorBuffer_);
            resetSectorBuffer();
        }
        return;
    }
    if (argument >= kBlocksPerSector) {
        becomeLost();
        return;
    }
    if (reply("K!", config_.replyDelay) != Outcome::Sent)
        return;
    if (command == 'e') {
        blockIndex_ = argument;
        block_.clear();
        phase_ = Phase::BlockData;
    } else {
        sectorBuffer_.replace(argument * kBlockSize, kBlockSize, QByteArray(kBlockSize, kErased));
    }
}

void ModuleModel::completeBlock() {
    phase_ = Phase::Command;
    char sum = 0;
    for (qsizetype k = 0; k < kBlockSize; ++k)
        sum ^= block_[k];
    if (sum != block_[kBlockSize]) {
        qCInfo(lcSim, "block %d: checksum wrong, dropped", blockIndex_);
        reply("E!", config_.replyDelay);
        return;
    }
    if (config_.rejectedBlock == blockIndex_) {
        qCInfo(lcSim, "block %d: rejected, as always", blockIndex_);
        reply("E!", config_.replyDelay);
        return;
    }
    if (reply("K!", config_.replyDelay) == Outcome::Sent)
        sectorBuffer_.replace(blockIndex_ * kBlockSize, kBlockSize, block_.left(kBlockSize));
}

void ModuleModel::becomeLost() {
    qCInfo(lcSim, "confused by the host; waiting for a probe");
    phase_ = Phase::Lost;
    reply("E!", config_.replyDelay);
}

void ModuleModel::resetSectorBuffer() {
    sectorBuffer_ = QByteArray(kSectorSize, kErased);
}

void ModuleModel::storeSector(int index, const QByteArray& data) {
    const qsizetype end = (index + 1) * kSectorSize;
    if (flash_.size() < end)
        flash_.resize(end, kErased);
    flash_.replace(index * kSectorSize, kSectorSize, data);
    qCInfo(lcSim, "flash sector %d written", index);
}

// Every reply passes here, so a fault can be aimed at any of them by its index.
ModuleModel::Outcome ModuleModel::reply(QByteArray text, double delay, bool finishes) {
    const int index = replies_++;
    if (config_.lateAtReply == index) {
        qCInfo(lcSim, "fault: reply %d (%s) %g s late", index, text.constData(), config_.lateBy);
        delay += config_.lateBy;
    }
    if (config_.hangUpAtReply == index) {
        qCInfo(lcSim, "fault: hanging up instead of reply %d (%s)", index, text.constData());
        quiet_ = true;
        Output drop;
        drop.hangsUp = true;
        enqueue(std::move(drop), delay);
        return Outcome::Withheld;
    }
    if (config_.silentAtReply == index) {
        qCInfo(lcSim, "fault: silent instead of reply %d (%s) for %g s", index, text.constData(),
               config_.silentFor);
        silent_ = true;
        if (config_.silentFor >= 0)
            schedule(config_.silentFor, [this] { endSilence(); });
        return Outcome::Withheld;
    }
    Outcome outcome = Outcome::Sent;
    if (config_.errorAtReply == index) {
        qCInfo(lcSim, "fault: E! instead of reply %d (%s)", index, text.constData());
        text = "E!";
        finishes = false;
        outcome = Outcome::Rejected;
    }
    if (config_.garbageAtReply == index) {
        qCInfo(lcSim, "fault: garbage before reply %d", index);
        text.prepend("#~");
    }
    if (config_.dropAtReply == index) {
        qCInfo(lcSim, "fault: %d characters lost %s reply %d", config_.dropCount,
               config_.dropFromHost ? "of the host's after" : "of", index);
        if (config_.dropFromHost)
            hostBytesToDrop_ = config_.dropCount;
        else
            text.remove(0, config_.dropCount);
    }
    Output output;
    output.bytes = std::move(text);
    output.finishes = finishes;
    enqueue(std::move(output), delay);
    return outcome;
}

// A reply that waits for a sector write must not be overtaken by a quicker one behind it.
void ModuleModel::enqueue(Output output, double delay) {
    const quint64 id = nextOutputId_++;
    output.id = id;
    outputs_.append(std::move(output));
    schedule(delay, [this, id] { markDue(id); });
}

void ModuleModel::markDue(quint64 id) {
    for (Output& output : outputs_) {
        if (output.id == id)
            output.due = true;
    }
    while (!outputs_.isEmpty() && outputs_.first().due) {
        const Output output = outputs_.takeFirst();
        if (output.hangsUp) {
            outputs_.clear();
            if (hangUp)
                hangUp();
            return;
        }
        if (output.finishes) {
            finished_ = true;
            qCInfo(lcSim, "finished: end of transfer sent");
        }
        if (transmit && !output.bytes.isEmpty())
            transmit(output.bytes);
    }
}

// Back from a silence the module has forgotten where it was, as after a power glitch: the
// host's restart finds it at the beginning of its protocol.
void ModuleModel::endSilence() {
    silent_ = false;
    xCount_ = 0;
    okProgress_ = 0;
    tail_.clear();
    sector_.clear();
    block_.clear();
    resetSectorBuffer();
    if (config_.kind == ModuleConfig::Kind::Announcing)
        phase_ = Phase::AwaitingCount;
    else if (config_.kind == ModuleConfig::Kind::Probed)
        phase_ = identified_ ? Phase::Command : Phase::Identifying;
    qCInfo(lcSim, "silence over; listening again");
}

}  // namespace tarvel::sim
