#pragma once

#include <QString>

namespace tarvel {

// Text from outside (an image's name from a share, another station's row, a replay file's
// field) as a terminal line, a log line or a table cell may show it: control characters (escape
// sequences, newlines, tabs), invisible format characters (a right-to-left override) and line
// or paragraph separators written as \xNN, or \uNNNN beyond Latin-1, so that the text can neither
// drive the terminal nor split or forge a line. Everything else is shown as it is.
inline QString shownText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (const QChar c : text) {
        switch (c.category()) {
            case QChar::Other_Control:
            case QChar::Other_Format:
            case QChar::Separator_Line:
            case QChar::Separator_Paragraph:
                shown +=
                    c.unicode() <= 0xff
                        ? QStringLiteral("\\x%1").arg(uint(c.unicode()), 2, 16, QLatin1Char('0'))
                        : QStringLiteral("\\u%1").arg(uint(c.unicode()), 4, 16, QLatin1Char('0'));
                break;
            default:
                shown += c;
        }
    }
    return shown;
}

}  // namespace tarvel
