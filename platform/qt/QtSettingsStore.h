#pragma once

#include "platform/SettingsStore.h"

#include <QSettings>

namespace tarvel {

// The per-user store of the application: the registry on Windows, an INI file elsewhere
// ($XDG_CONFIG_HOME/<application>.ini, normally ~/.config).
class QtSettingsStore : public SettingsStore {
  public:
    explicit QtSettingsStore(const QString& application)
        : settings_(kFormat, QSettings::UserScope, application) {}

    QString value(const QString& section, const QString& key,
                  const QString& defaultValue) const override {
        const QVariant value = settings_.value(section + QLatin1Char('/') + key, defaultValue);
        // An INI value with commas in it reads as a list; its text is what was written.
        if (value.typeId() == QMetaType::QStringList)
            return value.toStringList().join(QLatin1Char(','));
        return value.toString();
    }
    void setValue(const QString& section, const QString& key, const QString& value) override {
        settings_.setValue(section + QLatin1Char('/') + key, value);
        settings_.sync();
    }
    bool contains(const QString& section, const QString& key) const override {
        return settings_.contains(section + QLatin1Char('/') + key);
    }
    QString fileName() const { return settings_.fileName(); }

  private:
#ifdef Q_OS_WIN
    static constexpr QSettings::Format kFormat = QSettings::NativeFormat;
#else
    static constexpr QSettings::Format kFormat = QSettings::IniFormat;
#endif
    QSettings settings_;
};

}  // namespace tarvel
