#pragma once

#include <QByteArray>
#include <QString>

#include <functional>
#include <optional>

namespace tarvel::sim {

// What the simulated module is and which faults it plays.
struct ModuleConfig {
    enum class Kind {
        Announcing,  // answers the twelve "X" with a two-letter code, then the request-driven protocol
        Probed,      // silent to the "X", answers its six-letter probe with "R!", then the acknowledged protocol
        TestMode,    // the communication test: sends "UP", expects "OK"+0x01, answers "OK"
    };
    Kind kind = Kind::Announcing;
    QByteArray announcement = "UP";  // Announcing: "UP", "SA", "TE", "SL", "SC" or "TC"
    QByteArray type = "DVBSAT";      // Probed: "DVBSAT", "DVBSLV", "DVBTER", "DVBSCI", ...

    int switchOffRounds = 0;    // echo the first k rounds of twelve "X" (setup switch OFF)
    double replyDelay = 0.005;  // seconds between a complete command and its reply
    double sectorWriteTime = 0.05;  // seconds a sector takes to write (both protocols)

    // Faults. "Events" count the module's own replies from 0 (every reply it would send:
    // announcements, "OK", "R!", "K!", "W!K!", "EN"), so a test can aim a fault at any point.
    std::optional<int> silentAtReply;  // from this reply on, drop what arrives and send nothing ...
    double silentFor = -1;             // ... for this many seconds (< 0: for good)
    std::optional<int> errorAtReply;   // answer "E!" instead of this one "K!" (once)
    std::optional<int> garbageAtReply; // send two garbage characters before this reply
    std::optional<int> hangUpAtReply;  // hang up instead of sending this reply
};

// A plug-in module on the far end of the serial line, as the update protocols see it. It is fed
// the host's bytes and answers through transmit, after delays it asks schedule for. Its flash
// holds what it was told to write.
class ModuleModel {
public:
    explicit ModuleModel(ModuleConfig config);

    // How the model reaches its line and its clock.
    std::function<void(const QByteArray& bytes)> transmit;
    std::function<void(double delaySeconds, std::function<void()> action)> schedule;
    std::function<void()> hangUp;

    // Bytes from the host, in arrival order (any split).
    void receive(const QByteArray& bytes);
    // Test mode: start the exchange by sending "UP".
    void startTestMode();

    // The written flash: sector i at offset i * 65536, erased bytes are 0xFF. Its length is the
    // end of the highest sector written.
    const QByteArray& flash() const { return flash_; }
    bool finished() const { return finished_; }        // "EN" sent, or "q" received
    bool testPassed() const { return testPassed_; }    // test mode: "OK"+0x01 received
    int replies() const { return replies_; }

private:
    // Implementation state is the simulator's own business.
    struct State;
    ModuleConfig config_;
    QByteArray flash_;
    bool finished_ = false;
    bool testPassed_ = false;
    int replies_ = 0;
};

}  // namespace tarvel::sim
