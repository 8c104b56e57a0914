#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace tarvel::sim {

// What the simulated module is and which faults it plays.
struct ModuleConfig {
    enum class Kind {
        // Answers the twelve "X" with a two-letter code, then the request-driven protocol.
        Announcing,
        // Silent to the "X", answers its six-letter probe with "R!", then the acknowledged
        // protocol.
        Probed,
        // The communication test: sends "UP", expects "OK"+0x01, answers "OK".
        TestMode,
    };
    Kind kind = Kind::Announcing;
    QByteArray announcement = "UP";  // Announcing: "UP", "SA", "TE", "SL", "SC" or "TC"
    QByteArray type = "DVBSAT";      // Probed: "DVBSAT", "DVBSLV", "DVBTER", "DVBSCI", ...

    int switchOffRounds = 0;        // echo the first k rounds of twelve "X" (setup switch OFF)
    double replyDelay = 0.005;      // seconds between a complete command and its reply
    double sectorWriteTime = 0.05;  // seconds a sector takes to write (both protocols)

    // Faults. "Events" count the module's own replies from 0 (every reply it would send:
    // announcements, "OK", "R!", "K!", "W!K!", "EN"), so a test can aim a fault at any point.
    std::optional<int> silentAtReply;  // from this reply on, drop what arrives and send nothing ...
    double silentFor = -1;             // ... for this many seconds (< 0: for good)
    std::optional<int> errorAtReply;   // answer "E!" instead of this one "K!" (once)
    std::optional<int> rejectedBlock;  // answer "E!" to the data of this block, every time
    std::optional<int> garbageAtReply;  // send two garbage characters before this reply
    std::optional<int> hangUpAtReply;   // hang up instead of sending this reply
    // Lost characters, once: the first dropCount characters of this reply never reach the host
    // (the module believes it sent them all), or with dropFromHost the first dropCount bytes
    // the host sends after the module produced this reply never reach the module.
    std::optional<int> dropAtReply;
    int dropCount = 1;
    bool dropFromHost = false;
    std::optional<int> lateAtReply;  // send this reply lateBy seconds late; later replies queue
    double lateBy = 0;               // behind it, as on a line that keeps its order
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
    bool finished() const { return finished_; }      // "EN" sent, or "q" received
    bool testPassed() const { return testPassed_; }  // test mode: "OK"+0x01 received
    int replies() const { return replies_; }

  private:
    // Where the module stands in its protocol. Announcing uses Identifying, AwaitingCount and
    // SectorData; Probed uses Identifying and the walk states from TypeCode on.
    enum class Phase {
        Identifying,    // waits for the "X" rounds or its probe (also after a finished update)
        AwaitingCount,  // announced itself; waits for "OK" + N
        SectorData,     // takes the bytes of the requested sector
        TypeCode,       // swallows the type code the host sends after "R!"
        Command,        // waits for 'e', 'f', 'b' or 'q'
        BlockNumber,    // the byte after 'e' or 'f'
        SectorNumber,   // the byte after 'b'
        BlockData,      // the 1024 bytes of an announced block and their XOR
        Lost,           // confused; waits for a probe to come back
    };
    // What became of a reply the module meant to send.
    enum class Outcome { Sent, Rejected, Withheld };
    // A transmission waiting for its delay; the line keeps the order they were produced in.
    struct Output {
        quint64 id = 0;
        QByteArray bytes;
        bool due = false;
        bool finishes = false;  // "EN": the module is finished once it is out
        bool hangsUp = false;   // the line is dropped instead of sending
    };

    void handleByte(char c);
    void handleAnnouncing(char c);
    void handleProbed(char c);
    void handleTestMode(char c);
    qsizetype takeSectorData(const char* data, qsizetype size);
    qsizetype takeBlockData(const char* data, qsizetype size);
    bool completesXRound(char c);
    bool completesOk(char c);
    void echoRound();

    void startTransfer(int sectorCount);
    Outcome requestSector(double delay);
    void completeSector();
    void runCommand(char command, unsigned char argument);
    void completeBlock();
    void becomeLost();
    void resetSectorBuffer();
    void storeSector(int index, const QByteArray& data);

    Outcome reply(QByteArray text, double delay, bool finishes = false);
    void enqueue(Output output, double delay);
    void markDue(quint64 id);
    void endSilence();

    ModuleConfig config_;
    QByteArray flash_;
    bool finished_ = false;
    bool testPassed_ = false;
    int replies_ = 0;

    Phase phase_ = Phase::Identifying;
    bool identified_ = false;  // probed: "R!" was given; a walk is under way
    int switchOffRounds_ = 0;  // rounds still to echo
    int xCount_ = 0;           // 'X' received towards the current round
    int okProgress_ = 0;       // 0, 1 after 'O', 2 after "OK": the next byte is the argument
    QByteArray tail_;          // the last bytes received, for the probes
    int typeCodeLeft_ = 0;
    char command_ = 0;

    int sectorCount_ = 0;      // announcing: N
    int sectorIndex_ = 0;      // announcing: the sector being received
    QByteArray sector_;        // announcing: its bytes so far
    QByteArray sectorBuffer_;  // probed: the sector being assembled, 0xFF where not written
    int blockIndex_ = 0;       // probed: the announced block
    QByteArray block_;         // probed: its bytes so far

    bool silent_ = false;            // a silence fault is running
    bool quiet_ = false;             // hung up: hears and says nothing more
    qsizetype hostBytesToDrop_ = 0;  // a dropped-bytes fault on the way in, still to strike
    quint64 nextOutputId_ = 0;
    QList<Output> outputs_;
};

}  // namespace tarvel::sim
