#include "update/ImageFolder.h"

#include "platform/SettingsStore.h"

#include <QDir>

namespace tarvel {

QString imageFolder(const QString& programFolder, const SettingsStore& settings) {
    const QString chosen =
        settings.value(QStringLiteral("Paths"), QStringLiteral("ImageFolder"), QString()).trimmed();
    if (!chosen.isEmpty())
        return QDir::cleanPath(chosen);
#ifdef Q_OS_WIN
    return programFolder;
#else
    if (QDir::cleanPath(programFolder).startsWith(QLatin1String("/usr/")))
        return QStringLiteral(TARVEL_IMAGE_FOLDER);
    return programFolder;
#endif
}

}  // namespace tarvel
