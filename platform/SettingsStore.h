#pragma once

#include <QString>

namespace tarvel {

// The program's name for the desktop: its settings store, its record's folder, and the title of
// its message boxes.
constexpr const char* kApplicationName = "Tarvel_Update_Utility";

// Per-user string values of this application, addressed by section and key.
class SettingsStore {
  public:
    virtual ~SettingsStore() = default;
    virtual QString value(const QString& section, const QString& key,
                          const QString& defaultValue) const = 0;
    virtual void setValue(const QString& section, const QString& key, const QString& value) = 0;
    // Whether the key is there at all, whatever it holds (an empty or unreadable value too).
    virtual bool contains(const QString& section, const QString& key) const = 0;
};

}  // namespace tarvel
