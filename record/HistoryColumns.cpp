#include "record/HistoryColumns.h"

#include <QFileInfo>

#include <cmath>
#include <cstring>

namespace tarvel {

namespace {
template <typename... Ts>
struct Overloaded : Ts... {
    using Ts::operator()...;
};
template <typename... Ts>
Overloaded(Ts...) -> Overloaded<Ts...>;
}  // namespace

const std::vector<HistoryColumn>& historyColumns() {
    using K = ColumnKind;
    // name, header, position in history.csv, in the window, in the terminal, kind, field
    static const std::vector<HistoryColumn> columns = {
        {"started", "Started", 0, true, true, K::Time, &HistoryRow::started},
        {"kind", "Kind", -1, false, false, K::Text, &HistoryRow::kind},
        {"station", "Station", -1, true, false, K::Text, &HistoryRow::station},
        {"port", "Port", 2, true, true, K::Text, &HistoryRow::port},
        {"device", "Device", 3, false, false, K::Text, &HistoryRow::device},
        {"module", "Module", 4, true, true, K::Text, &HistoryRow::module},
        {"image", "Image", 5, true, true, K::Path, &HistoryRow::image},
        {"outcome", "Outcome", 10, true, true, K::Outcome, &HistoryRow::outcome},
        {"duration_s", "Seconds", 9, true, true, K::Seconds, &HistoryRow::seconds},
        {"bytes_sent", "Bytes", 8, false, false, K::Count, &HistoryRow::bytesSent},
        {"image_size", "Image size", 6, false, false, K::Count, &HistoryRow::imageSize},
        {"image_sha256", "SHA-256", 7, false, false, K::Text, &HistoryRow::imageSha256},
        {"finished", "Finished", 1, false, false, K::Time, &HistoryRow::finished},
        {"log", "Log", 11, false, false, K::Path, &HistoryRow::log},
        {"reason_code", "Reason code", 12, false, false, K::Text, &HistoryRow::reasonCode},
        {"reason", "Reason", 13, true, true, K::Text, &HistoryRow::reason},
        {"exchange_id", "Exchange id", -1, false, false, K::Text, &HistoryRow::exchangeId},
        {"signing_key", "Signed by", 14, false, false, K::Text, &HistoryRow::signingKey},
        {"trusted_comment", "Comment", 15, false, false, K::Text, &HistoryRow::trustedComment},
        {"older_release", "Older list", 16, false, false, K::Text, &HistoryRow::olderRelease},
        {"release_used", "List time", -1, false, false, K::Count, &HistoryRow::releaseUsed},
    };
    return columns;
}

const HistoryColumn& historyColumn(const char* name) {
    for (const HistoryColumn& column : historyColumns()) {
        if (std::strcmp(column.name, name) == 0)
            return column;
    }
    Q_ASSERT_X(false, "historyColumn", name);
    return historyColumns().front();
}

std::vector<const HistoryColumn*> csvColumns() {
    std::vector<const HistoryColumn*> ordered;
    for (int position = 0;; ++position) {
        const HistoryColumn* found = nullptr;
        for (const HistoryColumn& column : historyColumns())
            found = column.csvPosition == position ? &column : found;
        if (!found)
            return ordered;
        ordered.push_back(found);
    }
}

QVariant HistoryColumn::value(const HistoryRow& row) const {
    return std::visit(Overloaded{[&row](std::optional<qint64> HistoryRow::*member) {
                                     return row.*member ? QVariant(*(row.*member)) : QVariant();
                                 },
                                 [&row](auto member) { return QVariant(row.*member); }},
                      field);
}

void HistoryColumn::assign(HistoryRow& row, const QVariant& value) const {
    std::visit(Overloaded{[&](QString HistoryRow::*member) { row.*member = value.toString(); },
                          [&](qint64 HistoryRow::*member) { row.*member = value.toLongLong(); },
                          [&](std::optional<qint64> HistoryRow::*member) {
                              bool known = false;
                              const qint64 number = value.toLongLong(&known);
                              row.*member =
                                  known && !value.isNull() ? std::optional(number) : std::nullopt;
                          },
                          [&](double HistoryRow::*member) { row.*member = value.toDouble(); }},
               field);
}

QString HistoryColumn::text(const HistoryRow& row) const {
    const QVariant stored = value(row);
    if (kind == ColumnKind::Seconds)
        return QString::number(stored.toDouble(), 'f', 1);
    return stored.toString();
}

QString HistoryColumn::display(const HistoryRow& row) const {
    switch (kind) {
        case ColumnKind::Time:
            return shortTime(text(row));
        case ColumnKind::Path:
            return QFileInfo(text(row)).fileName();
        default:
            return text(row);
    }
}

QJsonValue HistoryColumn::json(const HistoryRow& row) const {
    const QVariant stored = value(row);
    if (stored.isNull() || (stored.typeId() == QMetaType::QString && stored.toString().isEmpty()))
        return QJsonValue::Null;
    if (kind == ColumnKind::Seconds)
        return std::round(stored.toDouble() * 10) / 10;
    if (kind == ColumnKind::Count)
        return stored.toLongLong();
    return stored.toString();
}

QString shortTime(const QString& iso, const QDate& today) {
    const QDateTime time = QDateTime::fromString(iso, Qt::ISODate).toLocalTime();
    if (!time.isValid())
        return iso;
    return time.date().year() == today.year() ? time.toString(QStringLiteral("MM-dd hh:mm:ss"))
                                              : time.date().toString(Qt::ISODate);
}

}  // namespace tarvel
