#include "cli/Options.h"

#include "cli/Arguments.h"
#include "platform/qt/QtFileSystem.h"

#include <QFileInfo>

#include <algorithm>
#include <array>

namespace tarvel {

namespace {

QString portValue(const QString&, const QString& value) {
    return portChoice(value) ? QString() : portProblem(value);
}

QString secondsValue(const QString& name, const QString& value) {
    if (timeoutSeconds(value))
        return QString();
    return QStringLiteral("--%1 %2: give seconds above 0, at most %3.")
        .arg(name, value, QString::number(kLongestTimeout));
}

QString folderValue(const QString&, const QString& value) {
    const QString folder = QFileInfo(value).absoluteFilePath();
    const QString why = QtFileSystem().folderProblem(folder);
    return why.isEmpty() ? QString() : QStringLiteral("The image folder %1 %2.").arg(folder, why);
}

struct OptionRow {
    Option option;
    const char* name;
    const char* value;  // the value's name; nullptr: a switch
    const char* help;   // nullptr: hidden from the help
    QString (*problem)(const QString& name, const QString& value) = nullptr;
};

// clang-format off
const std::array<OptionRow, 29> kOptions{{
    {Option::Port, "port", "PORT",
     "COM1 to COM9 (any letter case, mapped as in the window) or a device path. station: give "
     "it once for each port; without it, the ports of Ports= in section [Station] of the "
     "settings (separated by commas or spaces). history: only the rows of that port; a device "
     "path also finds the COM name that led to it.",
     portValue},
    {Option::Folder, "folder", "DIR", "Where the images are looked up (default: %1).",
     folderValue},
    {Option::Timeout, "timeout", "SEC",
     "End each update or test that has not finished after SEC seconds (above 0, at most "
     "86400).",
     secondsValue},
    {Option::SwitchWait, "switch-wait", "SEC",
     "update: stop when the module has not made itself known (setup switch ON, identified) "
     "after SEC seconds, a time-out (default: wait for ever, as the window does; after 30 s a "
     "hint says what to check).",
     secondsValue},
    {Option::NextModule, "next-module", nullptr,
     "update: take only a module that comes after a whole round of the identification in which "
     "nothing answered, so that the module updated before is not updated again while it is "
     "still attached (what station --repeat runs)."},
    {Option::AllowOlderRelease, "allow-older-release", nullptr,
     "update: let a signed approved list through once, though it is older than one this "
     "station has already used; the log and the history say so."},
    {Option::Transcript, "transcript", "FILE",
     "Write every byte both ways, with time and direction, to FILE."},
    {Option::PrefixPort, "prefix-port", nullptr,
     "Start every output line with the port, for runs side by side."},
    {Option::NoLog, "no-log", nullptr,
     "Leave no log and no history row in the record of updates."},
    {Option::Json, "json", nullptr,
     "JSON for software instead of text (see the manual page). update and comtest: JSON Lines, "
     "one object per event, the last the outcome. station: every update's lines with \"port\" "
     "added, then one \"station\" line with every port's outcomes and the exit status. "
     "inspect: one object per image and line (\"schema\": 1; \"file_bytes\": the name's bytes "
     "in hex). history: one JSON array, an object per row. report: one object with the "
     "figures (\"schema\": 1)."},
    // station forwards its children's rows to the line's history itself; with --repeat a wait
    // for a module that never came (Ctrl+C, the adapter pulled) leaves none.
    {Option::ForwardedByStation, "forwarded-by-station", nullptr, nullptr},
    {Option::RecordFromModule, "record-from-module", nullptr, nullptr},
    {Option::Repeat, "repeat", nullptr,
     "After each module's update wait for the next module on that port: once a whole round of "
     "the identification has gone unanswered (the module was taken off) or the port has "
     "vanished and come back, the next module to answer is updated. Until Ctrl+C. Not with "
     "--timeout."},
    {Option::TransferKind, "kind", "KIND",
     "The transfer for images whose names fit no module's pattern (DVB-GEN*.bin "
     "request-driven; DVB-SAT, -SLV, -TER, -SCI, -SCR, -SCO, -TCI*.bin acknowledged): request "
     "or ack."},
    {Option::Csv, "csv", nullptr,
     "The updates as the former history.csv held them: its 12 columns and header, RFC 4180 "
     "with CRLF line ends."},
    {Option::Outcome, "outcome", "O", "Only the rows of outcome O (failed: any failure)."},
    {Option::Wide, "wide", nullptr,
     "Every column in full (times with their offset, whole paths); the table is otherwise "
     "fitted to the terminal's width or COLUMNS."},
    {Option::Last, "last", "N", "Only the newest N rows."},
    {Option::NoHeader, "no-header", nullptr,
     "The table without its line of column names, for scripts."},
    {Option::ExchangeKind, "kind", "K", "Only updates (update) or tests (comtest)."},
    {Option::Since, "since", "WHEN",
     "Only what started from WHEN on: today, yesterday (from midnight), a time ago (45m, 2h, "
     "7d), a date (2026-12-06, from its midnight) or a date and time (2026-12-06T14:00)."},
    {Option::Station, "station", "NAME", "Only the rows of station NAME, which it holds."},
    {Option::Until, "until", "WHEN",
     "Only what started before WHEN, given as for --since (--until today: before today's "
     "midnight)."},
    {Option::Local, "local", nullptr,
     "This station's own history, also when a line's history is set."},
    {Option::Pending, "pending", nullptr,
     "The rows of this station that have not reached the line's history yet (as they are "
     "now)."},
    {Option::UpgradeLine, "upgrade-line", nullptr,
     "Make the line's history's tables, or bring them up to date, and print nothing else: for "
     "the line's owner, whose database role may create them; a station's role may not."},
    {Option::By, "by", "GROUPS",
     "Group the updates by one or two of station, module, image, port, day and hour, separated "
     "by a comma (default: station). A day or an hour is the station's local one."},
    {Option::ReportCsv, "csv", nullptr,
     "The figures as CSV (RFC 4180): a line per group and one for all of them."},
    {Option::Html, "html", "FILE",
     "Write the report to FILE as one HTML page with its charts, for a browser or a printer "
     "(A4): no script, nothing fetched from anywhere."},
}};
// clang-format on

const OptionRow& rowOf(Option option) {
    return *std::find_if(kOptions.begin(), kOptions.end(),
                         [option](const OptionRow& row) { return row.option == option; });
}

}  // namespace

QString optionName(Option option) {
    return QString::fromLatin1(rowOf(option).name);
}

QCommandLineOption commandLineOption(Option option, const QString& defaultValue) {
    const OptionRow& row = rowOf(option);
    QString help = row.help ? QString::fromLatin1(row.help) : QString();
    if (help.contains(QLatin1String("%1")))
        help = help.arg(defaultValue);
    QCommandLineOption made = row.value
                                  ? QCommandLineOption(optionName(option), help,
                                                       QString::fromLatin1(row.value), defaultValue)
                                  : QCommandLineOption(optionName(option), help);
    if (!row.help)
        made.setFlags(QCommandLineOption::HiddenFromHelp);
    return made;
}

void addOptions(QCommandLineParser& parser, std::initializer_list<Option> options) {
    for (const Option option : options)
        parser.addOption(commandLineOption(option));
}

bool isSet(const QCommandLineParser& parser, Option option) {
    return parser.isSet(optionName(option));
}

QString valueOf(const QCommandLineParser& parser, Option option) {
    return parser.value(optionName(option));
}

QString valueProblem(Option option, const QString& value) {
    const OptionRow& row = rowOf(option);
    return row.problem ? row.problem(optionName(option), value) : QString();
}

QString singleValueProblem(const QCommandLineParser& parser,
                           std::initializer_list<Option> options) {
    for (const Option option : options) {
        const QString name = QStringLiteral("--") + optionName(option);
        const QStringList values = parser.values(optionName(option));
        if (values.size() > 1)
            return name + QStringLiteral(" is given more than once.");
        if (values.size() == 1 && values.constFirst().trimmed().isEmpty())
            return name + QStringLiteral(" is empty.");
    }
    return QString();
}

}  // namespace tarvel
