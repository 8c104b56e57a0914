#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

namespace tarvel {

class Clock;
class CommControl;
class EventPump;

// What a wait looks for in ReceiveBuffer: one of a few texts at its start, at its end, or
// anywhere in it. Comparisons are exact, byte for byte.
class Expected {
  public:
    static Expected atStart(QByteArray text) { return {Where::Start, {std::move(text)}}; }
    static Expected atEnd(QByteArray text) { return {Where::End, {std::move(text)}}; }
    static Expected anywhere(QList<QByteArray> texts) {
        return {Where::Anywhere, std::move(texts)};
    }

    bool foundIn(const QByteArray& received) const;
    // As a message names it: "OK" at the end, "E!" or "R!".
    QString describe() const;

  private:
    enum class Where { Start, End, Anywhere };
    Expected(Where where, QList<QByteArray> texts) : where_(where), texts_(std::move(texts)) {}

    Where where_;
    QList<QByteArray> texts_;
};

// The one place that waits for the module: it owns ReceiveBuffer, which only the receive handler
// fills and only this class empties, so that every exchange follows the same pattern: empty the
// buffer, send, then wait (processing events) until the reply shows, a deadline passes, or the
// exchange is stopped or its line is lost.
class ReplyWaiter {
  public:
    enum class Wait { Reply, Late, Stopped, LineLost };
    // What a wait does with text that is not the reply: keep it, or throw it away after each look.
    enum class Unmatched { Keep, Discard };
    // Whether a lost line ends a wait, or the wait runs its time (a test of the line itself).
    enum class LineLoss { Ends, Ignored };

    ReplyWaiter(Clock& clock, EventPump& pump, CommControl& port);

    // Every character received since it was last emptied, in arrival order.
    const QByteArray& ReceiveBuffer() const { return ReceiveBuffer_; }
    // The receive handler's way in: it only ever appends.
    void collect(const QByteArray& bytes) { ReceiveBuffer_ += bytes; }

    // Empties ReceiveBuffer and sends text, with nothing in between: whatever is found later
    // came after it. False when the line is gone or the exchange was stopped.
    bool sendExpecting(const QByteArray& text);
    // Sends text and keeps what was received (the flood, the blocks of a sector).
    bool send(const QByteArray& text);
    // Throws away what has arrived: a port just opened, a module settling, a reply that only
    // echoes what was sent.
    void discard() { ReceiveBuffer_.clear(); }

    // Waits until expected shows in ReceiveBuffer or more than limit seconds have passed since
    // start (a reading of the clock).
    Wait waitFor(const Expected& expected, double start, double limit,
                 Unmatched unmatched = Unmatched::Keep, LineLoss lineLoss = LineLoss::Ends);
    // warte: waits Pausenlänge seconds while processing events. It ends early when the exchange
    // is stopped or the line it began with is lost; false then, or when there is no line.
    bool warte(double Pausenlänge);
    // Handles pending events without waiting; false when that stopped the exchange.
    bool processPending();

    // Ends the running exchange at its next look; begin() clears it for the next one.
    void stop() { stopped_ = true; }
    void begin() { stopped_ = false; }
    // Why the exchange cannot go on, Stopped or LineLost; nothing while it can.
    std::optional<Wait> halt() const;
    bool halted() const { return halt().has_value(); }

    // The port as messages name it ("Com3 (/dev/ttyUSB0)"), and why it failed, if it did.
    QString portName() const;
    QString lineFailure() const;

    // Bytes handed to the port through this waiter since the program started.
    qint64 bytesSent() const { return bytesSent_; }

  private:
    Clock& clock_;
    EventPump& pump_;
    CommControl& port_;
    QByteArray ReceiveBuffer_;
    bool stopped_ = false;
    qint64 bytesSent_ = 0;
};

}  // namespace tarvel
