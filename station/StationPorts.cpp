#include "station/StationPorts.h"

#include "platform/SettingsStore.h"
#include "platform/qt/QtFileSystem.h"
#include "serial/PortNames.h"

#include <QRegularExpression>

#include <optional>

namespace tarvel {

QString stationPortsProblem(const QStringList& given, const QString& source,
                            const SettingsStore& settings, QStringList* ports) {
    QStringList devices;
    for (const QString& text : given) {
        if (text.trimmed().isEmpty())
            return source + QStringLiteral(" is empty.");
        const std::optional<PortChoice> choice = portChoice(text);
        if (!choice)
            return QStringLiteral("%1 names %2: a port is COM1 to COM9 or a device path.")
                .arg(source, text);
        const QString name =
            choice->comPort > 0 ? QStringLiteral("COM%1").arg(choice->comPort) : choice->device;
        if (ports->contains(name))
            return QStringLiteral("%1 names %2 twice.").arg(source, name);
        const QString device = QtFileSystem::identity(stationPortDevice(name, settings));
        if (const qsizetype same = devices.indexOf(device); same >= 0)
            return QStringLiteral("%1 names %2 and %3, one device.")
                .arg(source, ports->at(same), name);
        *ports << name;
        devices << device;
    }
    return QString();
}

QStringList stationPortsSetting(const SettingsStore& settings) {
    return settings.value(QStringLiteral("Station"), QStringLiteral("Ports"), QString())
        .split(QRegularExpression(QStringLiteral("[,\\s]+")), Qt::SkipEmptyParts);
}

QString stationPortDevice(const QString& port, const SettingsStore& settings) {
    const std::optional<PortChoice> choice = portChoice(port);
    if (choice && choice->comPort > 0)
        return devicePathForPort(settings, choice->comPort);
    return port;
}

}  // namespace tarvel
