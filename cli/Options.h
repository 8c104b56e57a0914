#pragma once

#include <QCommandLineOption>
#include <QCommandLineParser>
#include <QString>

#include <initializer_list>

namespace tarvel {

// Every option of tarvel-update's commands, each declared once (its name, its value's name, its
// help and how its value is checked) in one table; each command lists the ones it takes. Two
// options of one name that mean different things in different commands are two options here:
// inspect's --kind (the transfer) and history's (updates or tests).
enum class Option {
    Port,
    Folder,
    Timeout,
    SwitchWait,
    NextModule,
    AllowOlderRelease,
    Transcript,
    PrefixPort,
    NoLog,
    Json,
    ForwardedByStation,  // hidden: what station gives its children
    RecordFromModule,    // hidden: the same
    Repeat,
    TransferKind,  // inspect's --kind
    Csv,
    Wide,
    NoHeader,
    Outcome,
    ExchangeKind,  // history's --kind
    Since,
    Until,
    Last,
    Station,
    Local,
    Pending,
    UpgradeLine,
    By,
    ReportCsv,  // report's --csv
    Html,
};

// "port", as the parser knows it.
QString optionName(Option option);
// The option for a parser; defaultValue fills the "%1" of a help that names its default.
QCommandLineOption commandLineOption(Option option, const QString& defaultValue = QString());
// Adds options to parser, in that order.
void addOptions(QCommandLineParser& parser, std::initializer_list<Option> options);

bool isSet(const QCommandLineParser& parser, Option option);
QString valueOf(const QCommandLineParser& parser, Option option);

// Why the option's value is refused, by the check the table gives it ("--port COM0: a port is
// COM1 to COM9 or a device path."); empty when it is not, or when the option has no check.
QString valueProblem(Option option, const QString& value);

// Why options taking one value are misused: one given more than once (a script that adds a
// second --port would otherwise silently change the port), or given empty or only spaces.
// Empty when they are not.
QString singleValueProblem(const QCommandLineParser& parser, std::initializer_list<Option> options);

}  // namespace tarvel
