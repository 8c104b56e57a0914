#include "serial/ReplyWaiter.h"

#include "platform/Clock.h"
#include "platform/EventPump.h"
#include "serial/CommControl.h"

#include <QStringList>

#include <algorithm>

namespace tarvel {

namespace {
// The shortest block on the event loop, so that a deadline reached exactly is passed next time.
constexpr double kMinimumWait = 0.001;
}  // namespace

bool Expected::foundIn(const QByteArray& received) const {
    return std::any_of(texts_.begin(), texts_.end(), [&](const QByteArray& text) {
        switch (where_) {
            case Where::Start:
                return received.startsWith(text);
            case Where::End:
                return received.endsWith(text);
            case Where::Anywhere:
                break;
        }
        return received.contains(text);
    });
}

QString Expected::describe() const {
    QStringList quoted;
    for (const QByteArray& text : texts_)
        quoted << QLatin1Char('"') + QString::fromLatin1(text) + QLatin1Char('"');
    const QString texts = quoted.join(QStringLiteral(" or "));
    switch (where_) {
        case Where::Start:
            return texts + QStringLiteral(" at the start");
        case Where::End:
            return texts + QStringLiteral(" at the end");
        case Where::Anywhere:
            break;
    }
    return texts;
}

ReplyWaiter::ReplyWaiter(Clock& clock, EventPump& pump, CommControl& port)
    : clock_(clock), pump_(pump), port_(port) {}

QString ReplyWaiter::portName() const {
    return port_.portName();
}

QString ReplyWaiter::lineFailure() const {
    return port_.failure();
}

std::optional<ReplyWaiter::Wait> ReplyWaiter::halt() const {
    if (stopped_)
        return Wait::Stopped;
    if (!port_.PortOpen())
        return Wait::LineLost;
    return std::nullopt;
}

bool ReplyWaiter::sendExpecting(const QByteArray& text) {
    ReceiveBuffer_.clear();
    return send(text);
}

// The port's output processes events until the driver has the bytes; they may stop the
// exchange meanwhile.
bool ReplyWaiter::send(const QByteArray& text) {
    if (halted())
        return false;
    bytesSent_ += text.size();
    return port_.setOutput(text) && !halted();
}

ReplyWaiter::Wait ReplyWaiter::waitFor(const Expected& expected, double start, double limit,
                                       Unmatched unmatched, LineLoss lineLoss) {
    for (;;) {
        pump_.waitForEvents(std::max(start + limit - clock_.seconds(), kMinimumWait));
        if (const std::optional<Wait> why = halt();
            why == Wait::Stopped || (why == Wait::LineLost && lineLoss == LineLoss::Ends))
            return *why;
        if (expected.foundIn(ReceiveBuffer_))
            return Wait::Reply;
        if (unmatched == Unmatched::Discard)
            ReceiveBuffer_.clear();
        if (clock_.seconds() - start > limit)
            return Wait::Late;
    }
}

// Only what happens during the wait ends it early: a stop, or the loss of the line it began
// with. Without any port it lasts its length, as the window's own waits do.
bool ReplyWaiter::warte(double Pausenlänge) {
    const bool hadLine = port_.PortOpen();
    const double end = clock_.seconds() + Pausenlänge;
    for (double now = clock_.seconds(); now < end && !stopped_ && (!hadLine || port_.PortOpen());
         now = clock_.seconds())
        pump_.waitForEvents(end - now);
    return !halted();
}

bool ReplyWaiter::processPending() {
    pump_.processPending();
    return !halted();
}

}  // namespace tarvel
