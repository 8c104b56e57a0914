#include "sim/ExchangeReplay.h"

#include "sim/SimLog.h"

#include <algorithm>
#include <utility>

namespace tarvel::sim {

namespace {

constexpr qsizetype kBytesShown = 8;

QByteArray hex(const QByteArray& bytes) {
    return bytes.left(kBytesShown).toHex(' ').toUpper();
}

}  // namespace

ExchangeReplay::ExchangeReplay(RecordedExchange recording, QString source, double speed,
                               double bytesPerSecond)
    : recording_(std::move(recording)),
      source_(std::move(source)),
      speed_(speed),
      bytesPerSecond_(bytesPerSecond) {}

void ExchangeReplay::start() {
    answerUpTo(0);
    noteEnd();
}

void ExchangeReplay::receive(const QByteArray& bytes) {
    if (diverged_ || bytes.isEmpty())
        return;
    if (firstByteAt_ < 0)
        firstByteAt_ = now();
    const QByteArray& expected = recording_.hostBytes;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        if (matched_ == expected.size()) {
            beyondEnd_ += bytes.size() - i;
            break;
        }
        if (bytes[i] != expected[matched_]) {
            diverge(bytes.mid(i));
            return;
        }
        answerUpTo(++matched_);
    }
    noteEnd();
}

bool ExchangeReplay::hostClosed() {
    if (diverged_)
        return false;
    if (matched_ < recording_.hostBytes.size()) {
        qCWarning(lcSim, "the host closed its port %s, before %s", qPrintable(place(matched_)),
                  hex(recording_.hostBytes.mid(matched_)).constData());
        return false;
    }
    qCInfo(lcSim, "the host sent the %lld recorded bytes", static_cast<long long>(matched_));
    if (beyondEnd_ > 0)
        qCInfo(lcSim, "and %lld more after the end of the recording, unanswered",
               static_cast<long long>(beyondEnd_));
    return true;
}

// Each answer is due once the host has sent the bytes that preceded it.
void ExchangeReplay::answerUpTo(qsizetype hostOffset) {
    const QList<ModuleAnswer>& answers = recording_.answers;
    for (; nextAnswer_ < answers.size() && answers[nextAnswer_].after <= hostOffset;
         ++nextAnswer_) {
        const ModuleAnswer& answer = answers[nextAnswer_];
        // The recorded delay counts from the host's write; on a paced line the last byte of that
        // write has only just arrived.
        const double onTheWire =
            bytesPerSecond_ > 0 ? static_cast<double>(answer.lastWriteSize) / bytesPerSecond_ : 0;
        const quint64 id = nextId_++;
        pending_.append({id, answer.bytes, false});
        schedule(std::max(0.0, answer.delay * speed_ - onTheWire), [this, id] { markDue(id); });
    }
}

void ExchangeReplay::markDue(quint64 id) {
    for (Pending& answer : pending_) {
        if (answer.id == id)
            answer.due = true;
    }
    while (!pending_.isEmpty() && pending_.first().due)
        transmit(pending_.takeFirst().bytes);
    noteEnd();
}

void ExchangeReplay::noteEnd() {
    if (ended_ || diverged_ || matched_ < recording_.hostBytes.size() ||
        nextAnswer_ < recording_.answers.size() || !pending_.isEmpty())
        return;
    ended_ = true;
    qCInfo(lcSim, "end of the recording: the module is silent from now on");
}

void ExchangeReplay::diverge(const QByteArray& received) {
    diverged_ = true;
    pending_.clear();
    qCWarning(lcSim, "divergence %s: expected %s, received %s", qPrintable(place(matched_)),
              hex(recording_.hostBytes.mid(matched_)).constData(), hex(received).constData());
    qCWarning(lcSim, "the module is silent from now on");
}

QString ExchangeReplay::place(qsizetype offset) const {
    const QList<HostLine>& lines = recording_.hostLines;
    const auto after =
        std::upper_bound(lines.begin(), lines.end(), offset,
                         [](qsizetype value, const HostLine& line) { return value < line.offset; });
    const HostLine& line = *std::prev(after);
    const double sinceFirstByte = firstByteAt_ < 0 ? 0 : now() - firstByteAt_;
    const double recorded = (line.milliseconds - lines.first().milliseconds) / 1000;
    return QStringLiteral(
               "at offset %1 of the host's bytes, %2 s after its first byte (recorded: %3 s), "
               "line %4 of %5")
        .arg(offset)
        .arg(sinceFirstByte, 0, 'f', 3)
        .arg(recorded, 0, 'f', 3)
        .arg(line.lineNumber)
        .arg(source_);
}

}  // namespace tarvel::sim
