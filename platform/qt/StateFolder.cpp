#include "platform/qt/StateFolder.h"

#include "platform/SettingsStore.h"

#include <QDir>
#include <QStandardPaths>

namespace tarvel {

QString stateFolder() {
    const QString application = QLatin1Char('/') + QLatin1String(kApplicationName);
#ifdef Q_OS_WIN
    // The local (not roaming) application data of the user.
    return QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) + application;
#else
    const QString state = qEnvironmentVariable("XDG_STATE_HOME");
    // The XDG rules ignore a relative path.
    if (!state.isEmpty() && QDir::isAbsolutePath(state))
        return state + application;
    return QDir::homePath() + QStringLiteral("/.local/state") + application;
#endif
}

}  // namespace tarvel
