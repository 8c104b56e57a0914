#include "serial/PortNames.h"

#include "platform/SettingsStore.h"

#include <QRegularExpression>

namespace tarvel {

QString devicePathForPort(const SettingsStore& settings, int port) {
#ifdef Q_OS_WIN
    Q_UNUSED(settings);
    return QStringLiteral("COM%1").arg(port);
#else
    const QString fallback = QStringLiteral("/dev/ttyS%1").arg(port - 1);
    const QString mapped =
        settings.value(QStringLiteral("Ports"), QStringLiteral("COM%1").arg(port), fallback);
    return mapped.trimmed().isEmpty() ? fallback : mapped.trimmed();
#endif
}

std::optional<PortChoice> portChoice(const QString& text) {
    const auto com =
        QRegularExpression(QStringLiteral("^COM(.*)$"), QRegularExpression::CaseInsensitiveOption)
            .match(text);
    if (!com.hasMatch())
        return PortChoice::path(text);
    if (!QRegularExpression(QStringLiteral("^[1-9]$")).match(com.captured(1)).hasMatch())
        return std::nullopt;
    return PortChoice::com(com.captured(1).toInt());
}

}  // namespace tarvel
