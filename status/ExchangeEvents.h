#pragma once

#include "serial/WireDirection.h"
#include "status/Outcome.h"

#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace tarvel {

class Clock;
class EventPump;

// What the engine tells about one exchange with a module (an update or a communication test).
// Every event carries t, the seconds since the exchange began (or, before the first one, since
// the program started). The window, the console and the record each subscribe as listeners and
// take what they need from the event itself, never from the order of other events.

enum class ExchangeKind { Update, CommunicationTest };

struct ExchangeStarted {
    double t = 0;
    ExchangeKind kind = ExchangeKind::Update;
    QString port;                       // "COM1", or the device path the technician gave
    QString device;                     // the device path behind it
    std::optional<int> latencyTimerMs;  // of a USB adapter, when known
};

// A status word with its colour (0x00BBGGRR) and its two instruction lines.
struct StatusChanged {
    double t = 0;
    QString word;
    QString english;
    QString german;
    quint32 color = 0;
};

// The activity line (the status bar's middle panel); empty clears it.
struct ActivityChanged {
    double t = 0;
    QString text;
};

// The progress bar and the percentage label. percentText is the label as shown ("0%", " 25%");
// sector and block are those just sent, where the transfer has them.
struct ProgressChanged {
    double t = 0;
    int value = 0;
    int maximum = 0;
    int percent = 0;
    QString percentText;
    std::optional<qint64> sector;
    std::optional<int> block;
};

struct ImageChosen {
    double t = 0;
    QString path;
    qint64 size = -1;
    QByteArray sha256;   // hexadecimal, of the bytes the transfer sends
    QString approvedBy;  // the approved list that let it through; empty without a list
    // Where the list's signature holds: the key's id (keyIdText), its trusted comment as
    // commentLine shows it (one line, no control character), the time it names, and how an older
    // list than one already used was let through once (empty when not).
    QString signingKey = {};
    QString trustedComment = {};
    std::optional<qint64> signedAt = {};
    QString olderAllowed = {};
};

// How the module made itself known: its two-letter announcement or its six-letter type.
struct ModuleIdentified {
    double t = 0;
    QByteArray code;
};

// Waiting for the next module, the module updated before has gone quiet for a whole round of
// the identification: it was taken off, and the next module to answer is a new one.
struct ModuleLeft {
    double t = 0;
};

struct WireBytes {
    double t = 0;
    Direction direction = Direction::Tx;
    QByteArray bytes;
};

// Something the technician should know that is no status: a slow USB adapter, a record that
// cannot be written.
struct Notice {
    enum class Kind { AdapterHint, Warning };
    double t = 0;
    Kind kind = Kind::Warning;
    QString text;
};

// A message box the engine showed: its text, its title ("Update Error", "ComPortError",
// "Com-Test") and whether it tells of an error; detail: what the box shows in smaller print
// below its text (an error box's reason, in English and German), empty for most.
struct MessageShown {
    double t = 0;
    QString text;
    QString title;
    bool error = false;
    QString detail;
};

// A box's text as one line, as the console, the log and the JSON stream show it: its English
// and German halves (split by a carriage return) joined by " / ", its other line breaks (around
// a path) a blank.
QString messageLine(const QString& text);

// The elapsed-time clock ("0:01:05") and whether it runs; every tick also turns the indicator.
struct ClockChanged {
    double t = 0;
    QString text;
    bool tick = false;  // a tick of the running clock, not a reset
};

// The activity indicator's colour and the busy pointer, as the window shows them.
struct IndicatorChanged {
    double t = 0;
    quint32 color = 0;
};
struct BusyChanged {
    double t = 0;
    bool busy = false;
};

// How an exchange ended, with the command line's exit status for it (exitStatusOf).
struct ExchangeEnded {
    double t = 0;
    ExchangeKind kind = ExchangeKind::Update;
    Outcome outcome = Outcome::Error;
    Reason reason;
    qint64 bytesSent = 0;
    // The exchange's own time: until its end, where the clock stopped, before any box waits for
    // the technician.
    double seconds = 0;
    // The elapsed-time clock as it stopped ("0:00:32"), where the exchange ran it; empty else.
    QString clock;
    // The update's image and module as far as it got to know them; empty before.
    QString image;
    QByteArray module;
    // The transfer's data phase, where it had one: from the first data byte handed to the port
    // until the module's answer to the last, which proves the bytes have left the line; its
    // bytes, its seconds and their share of the line rate (11,520 bytes/s); no share where the
    // line was faster than a serial line at 115200 baud can be.
    std::optional<qint64> dataBytes;
    std::optional<double> dataSeconds;
    std::optional<double> dataLineShare;
};

// The record's log of the exchange is open: where it lies.
struct LogOpened {
    double t = 0;
    QString path;
};

// A listener takes the events it cares about; the others pass by.
class ExchangeListener {
  public:
    virtual ~ExchangeListener() = default;
    virtual void exchangeStarted(const ExchangeStarted&) {}
    virtual void statusChanged(const StatusChanged&) {}
    virtual void activityChanged(const ActivityChanged&) {}
    virtual void progressChanged(const ProgressChanged&) {}
    virtual void imageChosen(const ImageChosen&) {}
    virtual void moduleIdentified(const ModuleIdentified&) {}
    virtual void moduleLeft(const ModuleLeft&) {}
    virtual void wireBytes(const WireBytes&) {}
    virtual void notice(const Notice&) {}
    virtual void messageShown(const MessageShown&) {}
    virtual void clockChanged(const ClockChanged&) {}
    virtual void indicatorChanged(const IndicatorChanged&) {}
    virtual void busyChanged(const BusyChanged&) {}
    virtual void exchangeEnded(const ExchangeEnded&) {}
    virtual void logOpened(const LogOpened&) {}
};

// Where the engine sends its events: every subscribed listener gets each one, in the order they
// were published. publish stamps an event with its time. Listeners never run inside the serial
// receive handler: what it publishes (the bytes just received) waits until the handler has
// returned, and every event published meanwhile waits behind it, so that the order stays the
// order of publishing. A listener that publishes, too, only adds to the end of the queue.
class ExchangeEvents {
  public:
    ExchangeEvents(const Clock& clock, EventPump& pump);

    void subscribe(ExchangeListener& listener);
    void unsubscribe(ExchangeListener& listener);
    // Times of later events count from now.
    void restartTime();
    double now() const;

    template <typename Event>
    void publish(Event event, void (ExchangeListener::*handler)(const Event&)) {
        enqueue(std::move(event), handler);
        if (!waitingForReceive_)
            deliver();
    }
    // From inside the receive handler: delivered once it has returned.
    template <typename Event>
    void publishAfterReceive(Event event, void (ExchangeListener::*handler)(const Event&)) {
        enqueue(std::move(event), handler);
        deliverAfterReceive();
    }
    // Delivers whatever waits, now (before a message box, at the end of an exchange).
    void deliverPending();

  private:
    template <typename Event>
    void enqueue(Event event, void (ExchangeListener::*handler)(const Event&)) {
        event.t = now();
        queue_.push_back([this, event = std::move(event), handler] {
            // A copy: a listener may subscribe or leave while it is told.
            const std::vector<ExchangeListener*> listeners = listeners_;
            for (ExchangeListener* listener : listeners)
                (listener->*handler)(event);
        });
    }
    void deliver();
    void deliverAfterReceive();

    const Clock& clock_;
    EventPump& pump_;
    double origin_;
    std::vector<ExchangeListener*> listeners_;
    std::deque<std::function<void()>> queue_;
    bool delivering_ = false;
    bool waitingForReceive_ = false;
    // A delivery posted to the event loop may come after this object is gone.
    std::shared_ptr<char> alive_ = std::make_shared<char>();
};

}  // namespace tarvel
