#pragma once

#include "serial/PortNames.h"
#include "serial/SerialLink.h"

#include <QByteArray>
#include <QCommandLineParser>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tarvel {

// The checks of a command line that need neither a port nor a file, so that bad usage is
// refused before the first byte on the line.

// The program's arguments as the system gave them: on Unix argv's bytes, since a file name may
// hold any byte but '/' and NUL and need not be text; on Windows, whose arguments are UTF-16,
// their UTF-8.
QList<QByteArray> argumentBytes(int argc, char* argv[]);

// Those arguments as text for QCommandLineParser, each one's bytes found again from its text. One
// that is no text, and no option, stands in the text as a placeholder that no text holds: a
// lone surrogate and its index.
class ArgumentText {
  public:
    explicit ArgumentText(const QList<QByteArray>& arguments);
    const QStringList& text() const { return text_; }
    QByteArray bytesOf(const QString& text) const;

  private:
    QList<QByteArray> bytes_;
    QStringList text_;
};

// --timeout in seconds: a finite number above 0 and at most a day. Nothing for any other text
// ("nan", "inf", "1e10" would mean no limit at all).
std::optional<double> timeoutSeconds(const QString& text);
constexpr double kLongestTimeout = 86400;

// Why portChoice refuses text.
QString portProblem(const QString& text);

// Prints the parser's help with the program named as a technician calls it, tarvel-update, not
// by the path it was started from.
void printHelp(const QCommandLineParser& parser);

// Bad usage: the cause on one line of stderr, where to read more on a second; returns 2.
// command: "tarvel-update" or "tarvel-update inspect", whose --help is meant.
int refuse(const QString& cause, const char* command);

}  // namespace tarvel
