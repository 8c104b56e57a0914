#include "cli/Arguments.h"

#include "status/Outcome.h"

#include <QCoreApplication>
#include <QRegularExpression>

#include <cmath>
#include <cstdio>

namespace tarvel {

QList<QByteArray> argumentBytes(int argc, char* argv[]) {
    QList<QByteArray> bytes;
#ifdef Q_OS_WIN
    Q_UNUSED(argc);
    Q_UNUSED(argv);
    for (const QString& argument : QCoreApplication::arguments())
        bytes << argument.toUtf8();
#else
    for (int i = 0; i < argc; ++i)
        bytes << QByteArray(argv[i]);
#endif
    return bytes;
}

namespace {
constexpr char16_t kPlaceholder = 0xD800;
}

ArgumentText::ArgumentText(const QList<QByteArray>& arguments) : bytes_(arguments) {
    bool optionsEnded = false;  // by "--"
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString decoded = QString::fromUtf8(arguments[i]);
        const bool option = !optionsEnded && decoded.startsWith(QLatin1Char('-'));
        optionsEnded = optionsEnded || decoded == QLatin1String("--");
        text_ << (option || decoded.toUtf8() == arguments[i]
                      ? decoded
                      : QChar(kPlaceholder) + QString::number(i));
    }
}

QByteArray ArgumentText::bytesOf(const QString& text) const {
    if (text.startsWith(QChar(kPlaceholder)))
        return bytes_.value(text.mid(1).toInt());
    return text.toUtf8();
}

std::optional<double> timeoutSeconds(const QString& text) {
    bool ok = false;
    const double seconds = text.toDouble(&ok);
    if (!ok || !std::isfinite(seconds) || seconds <= 0 || seconds > kLongestTimeout)
        return std::nullopt;
    return seconds;
}

QString portProblem(const QString& text) {
    return QStringLiteral("--port %1: a port is COM1 to COM9 or a device path.").arg(text);
}

void printHelp(const QCommandLineParser& parser) {
    QString text = parser.helpText();
    const QString started = QStringLiteral("Usage: ") + QCoreApplication::arguments().value(0);
    if (text.startsWith(started))
        text.replace(0, started.size(), QStringLiteral("Usage: tarvel-update"));
    std::fputs(qPrintable(text), stdout);
}

int refuse(const QString& cause, const char* command) {
    std::fprintf(stderr, "tarvel-update: %s\nTry '%s --help'.\n", qPrintable(cause), command);
    return kExitUsage;
}

}  // namespace tarvel
