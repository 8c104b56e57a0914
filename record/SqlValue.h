#pragma once

#include <QString>
#include <QVariant>

#include <optional>

namespace tarvel {

// Values as the history's columns take them. Qt binds a null QString as NULL; a text column
// holds "" for nothing.
inline QVariant sqlText(const QString& value) {
    return value.isNull() ? QVariant(QStringLiteral("")) : QVariant(value);
}

// NULL where it is not known.
inline QVariant sqlNumber(const std::optional<qint64>& value) {
    return value ? QVariant(*value) : QVariant(QMetaType::fromType<qint64>());
}

}  // namespace tarvel
