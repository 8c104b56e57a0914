#include "sim/SimOptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <limits>

namespace tarvel::sim {

namespace {

struct Reader {
    QCommandLineParser& parser;
    QString error;

    double number(const QString& name, double fallback, double minimum = 0) {
        if (!parser.isSet(name))
            return fallback;
        bool ok = false;
        const double value = parser.value(name).toDouble(&ok);
        if (!ok || value < minimum)
            fail(name);
        return value;
    }
    std::optional<int> count(const QString& name) {
        if (!parser.isSet(name))
            return std::nullopt;
        bool ok = false;
        const int value = parser.value(name).toInt(&ok);
        if (!ok || value < 0)
            fail(name);
        return value;
    }
    void fail(const QString& name) {
        if (error.isEmpty())
            error = QStringLiteral("invalid value for --%1: %2").arg(name, parser.value(name));
    }
};

void addOptions(QCommandLineParser& parser) {
    parser.setApplicationDescription(
        "Plays a plug-in module on a pseudo-terminal. Prints the device path the updater is to "
        "open as the first line, then answers the host until it is stopped.");
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOptions({
        {"announce", "Announce with a two-letter CODE (UP, SA, TE, SL, SC, TC); the default is UP.",
         "CODE"},
        {"type", "Be a probed module of the six-letter type CODE (DVBSAT, DVBTER, ...).", "CODE"},
        {"test-mode", "Be a module in its communication test mode."},
        {"switch-off-rounds", "Echo the first K rounds of twelve X (setup switch OFF).", "K"},
        {"baud", "Pace both directions at RATE/10 bytes per second.", "RATE"},
        {"latency",
         "Hand bytes to the host as a USB adapter with a latency timer of MS milliseconds does: "
         "held until MS ms after the first of them, or until 62 of them wait.",
         "MS"},
        {"reply-delay", "Seconds before each reply (default 0.005).", "SEC"},
        {"sector-time", "Seconds a sector write takes (default 0.05).", "SEC"},
        {"silent-at", "Fall silent instead of reply N (counted from 0).", "N"},
        {"silent-for", "How long the silence lasts; for good if not given.", "SEC"},
        {"error-at", "Answer E! instead of reply N.", "N"},
        {"reject-block", "Answer E! to the data of block B of every sector, every time.", "B"},
        {"garbage-at", "Send two garbage characters before reply N.", "N"},
        {"hang-up-at", "Hang up instead of reply N.", "N"},
        {"flash", "Write the flash contents to FILE after every sector write.", "FILE"},
        {"exit-when-done", "Exit 0.5 s after the update (or the test) has ended."},
        {"link",
         "Name the device by a symbolic link at PATH as well, made at the start and removed "
         "when the line closes, as an adapter's by-id link is; PATH is printed instead of the "
         "pseudo-terminal's name, whose number the next pair gets once this one is closed.",
         "PATH"},
        {"test-mode-delay", "Test mode: seconds before the first UP (default 0.5).", "SEC"},
        {"replay",
         "Play the module of a recorded exchange instead: FILE is an update log or a "
         "--transcript of tarvel-update. Answers the host as the module answered then, once "
         "the host has sent what it sent then; reports where the host's bytes part from the "
         "recording and falls silent, as it does where the recording ends. Exits when the host "
         "closes its port: 0 if it sent what was recorded, 1 if not. A file that is no regular "
         "file, holds more than 256 MiB, or has a line this simulator does not know is refused "
         "with status 2. Goes with --baud and --latency only.",
         "FILE"},
        {"replay-speed",
         "With --replay: scale the recorded delays by FACTOR (0: at once; default 1).", "FACTOR"},
    });
}

// The options that shape the modelled module, which a replay does without.
const QStringList kModelOptions = {
    "announce",    "type",       "test-mode",  "switch-off-rounds", "reply-delay",
    "sector-time", "silent-at",  "silent-for", "error-at",          "reject-block",
    "garbage-at",  "hang-up-at", "flash",      "exit-when-done",    "test-mode-delay",
};

// Loads the recording at once, so that a file that cannot be replayed is refused before the
// simulator offers a line.
bool readReplay(QCommandLineParser& parser, Reader& read, SimOptions& options, QString* output) {
    if (!parser.isSet("replay")) {
        if (!parser.isSet("replay-speed"))
            return true;
        *output = "--replay-speed goes with --replay";
        return false;
    }
    for (const QString& name : kModelOptions) {
        if (parser.isSet(name)) {
            *output = QStringLiteral("--%1 does not go with --replay").arg(name);
            return false;
        }
    }
    options.replaySpeed = read.number("replay-speed", 1);
    if (!read.error.isEmpty()) {
        *output = read.error;
        return false;
    }
    options.replayFile = parser.value("replay");
    options.replay = readRecordedExchange(options.replayFile, output);
    return options.replay.has_value();
}

// How the module makes itself known: it announces itself, is probed for its type, or speaks
// first in its test mode. False with the reason in output when the options say otherwise.
bool readKind(const QCommandLineParser& parser, ModuleConfig& module, QString* output) {
    const int kinds =
        int(parser.isSet("announce")) + int(parser.isSet("type")) + int(parser.isSet("test-mode"));
    if (kinds > 1) {
        *output = "choose one of --announce, --type and --test-mode";
        return false;
    }
    if (parser.isSet("type")) {
        module.kind = ModuleConfig::Kind::Probed;
        module.type = parser.value("type").toLatin1();
        if (module.type.size() != 6) {
            *output = "--type takes a six-letter code";
            return false;
        }
    } else if (parser.isSet("test-mode")) {
        module.kind = ModuleConfig::Kind::TestMode;
    } else if (parser.isSet("announce")) {
        module.announcement = parser.value("announce").toLatin1();
        if (module.announcement.size() != 2) {
            *output = "--announce takes a two-letter code";
            return false;
        }
    }
    return true;
}

}  // namespace

std::optional<SimOptions> parseSimOptions(const QStringList& arguments, QString* output,
                                          int* exitCode) {
    QCommandLineParser parser;
    addOptions(parser);
    *exitCode = 2;
    if (!parser.parse(arguments)) {
        *output = parser.errorText();
        return std::nullopt;
    }
    if (parser.isSet("help")) {
        *output = parser.helpText();
        *exitCode = 0;
        return std::nullopt;
    }
    if (parser.isSet("version")) {
        *output =
            QCoreApplication::applicationName() + ' ' + QCoreApplication::applicationVersion();
        *exitCode = 0;
        return std::nullopt;
    }

    SimOptions options;
    options.link = parser.value("link");
    if (parser.isSet("link") && options.link.isEmpty()) {
        *output = "--link takes a path";
        return std::nullopt;
    }
    Reader read{parser, {}};
    if (!readReplay(parser, read, options, output))
        return std::nullopt;
    if (!readKind(parser, options.module, output))
        return std::nullopt;
    ModuleConfig& module = options.module;
    module.switchOffRounds = read.count("switch-off-rounds").value_or(0);
    const double baud = read.number("baud", 0, 1);
    options.bytesPerSecond = baud / 10;  // start bit, eight data bits, stop bit
    options.adapterLatencyMs = read.count("latency").value_or(0);
    module.replyDelay = read.number("reply-delay", module.replyDelay);
    module.sectorWriteTime = read.number("sector-time", module.sectorWriteTime);
    module.silentAtReply = read.count("silent-at");
    module.silentFor = read.number("silent-for", -1, std::numeric_limits<double>::lowest());
    module.errorAtReply = read.count("error-at");
    module.rejectedBlock = read.count("reject-block");
    module.garbageAtReply = read.count("garbage-at");
    module.hangUpAtReply = read.count("hang-up-at");
    options.flashFile = parser.value("flash");
    options.exitWhenDone = parser.isSet("exit-when-done");
    options.testModeDelay = read.number("test-mode-delay", options.testModeDelay);
    if (!read.error.isEmpty()) {
        *output = read.error;
        return std::nullopt;
    }
    *exitCode = 0;
    return options;
}

}  // namespace tarvel::sim
