#include "serial/PortNames.h"

#include "platform/SettingsStore.h"

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

}  // namespace tarvel
