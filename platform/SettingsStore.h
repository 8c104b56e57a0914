#pragma once

#include <QString>

namespace tarvel {

// Per-user string values of this application, addressed by section and key.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual QString value(const QString& section, const QString& key,
                          const QString& defaultValue) const = 0;
    virtual void setValue(const QString& section, const QString& key, const QString& value) = 0;
};

}  // namespace tarvel
