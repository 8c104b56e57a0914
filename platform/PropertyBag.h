#pragma once

#include <QMap>
#include <QString>
#include <QtGlobal>

namespace tarvel {

// The stored design-time properties of a control. An entry written with its default value is
// not stored; reading an entry that is not stored yields the default given on reading.
class PropertyBag {
  public:
    virtual ~PropertyBag() = default;
    virtual qint64 read(const QString& name, qint64 defaultValue) const = 0;
    virtual void write(const QString& name, qint64 value, qint64 defaultValue) = 0;
};

class MemoryPropertyBag : public PropertyBag {
  public:
    MemoryPropertyBag() = default;
    explicit MemoryPropertyBag(QMap<QString, qint64> entries) : entries_(std::move(entries)) {}

    qint64 read(const QString& name, qint64 defaultValue) const override {
        return entries_.value(name, defaultValue);
    }
    void write(const QString& name, qint64 value, qint64 defaultValue) override {
        if (value == defaultValue)
            entries_.remove(name);
        else
            entries_.insert(name, value);
    }
    const QMap<QString, qint64>& entries() const { return entries_; }

  private:
    QMap<QString, qint64> entries_;
};

}  // namespace tarvel
