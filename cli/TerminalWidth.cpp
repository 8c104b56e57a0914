#include "cli/TerminalWidth.h"

#include <QStringList>
#include <QtGlobal>

#include <algorithm>

#ifdef Q_OS_WIN
#include <io.h>
#include <windows.h>
#else
#include <sys/ioctl.h>
#include <unistd.h>
#endif

namespace tarvel {

bool isTerminal(std::FILE* stream) {
#ifdef Q_OS_WIN
    return _isatty(_fileno(stream)) != 0;
#else
    return isatty(fileno(stream)) != 0;
#endif
}

int terminalColumns(std::FILE* stream) {
    bool ok = false;
    const int columns = qEnvironmentVariableIntValue("COLUMNS", &ok);
    if (ok && columns > 0)
        return std::min(columns, kWidestTerminal);
    if (!isTerminal(stream))
        return 0;
#ifdef Q_OS_WIN
    CONSOLE_SCREEN_BUFFER_INFO info;
    if (GetConsoleScreenBufferInfo(GetStdHandle(STD_OUTPUT_HANDLE), &info))
        return info.srWindow.Right - info.srWindow.Left + 1;
#else
    winsize size{};
    if (ioctl(fileno(stream), TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
#endif
    return 80;
}

bool colorWanted(std::FILE* stream) {
    return isTerminal(stream) && qEnvironmentVariableIsEmpty("NO_COLOR") &&
           qEnvironmentVariable("TERM") != QLatin1String("dumb");
}

QString wrapped(const QString& text, int columns) {
    if (columns <= 0 || text.size() < columns)
        return text;
    const QString indent = QStringLiteral("  ");
    QString all, line;
    for (const QString& word : text.split(QLatin1Char(' '))) {
        if (!line.isEmpty() && line.size() + 1 + word.size() > columns - 1) {
            all += line + QLatin1Char('\n');
            line = indent;
        } else if (!line.isEmpty() && line != indent) {
            line += QLatin1Char(' ');
        }
        line += word;
    }
    return all + line;
}

}  // namespace tarvel
