#include "app/HistoryModel.h"
#include "platform/ShownText.h"
#include "status/Outcome.h"

#include <QColor>
#include <QSet>

namespace tarvel {

namespace {

QDateTime startOf(const HistoryRow& row) {
    return QDateTime::fromString(row.started, Qt::ISODate);
}

// Green for success, amber for what has not ended (or never will), red for the rest.
QColor outcomeColor(const QString& outcome) {
    const std::optional<Outcome> known = outcomeFromWord(outcome);
    if (known == Outcome::Success)
        return QColor(0x00, 0x80, 0x00);
    if (known == Outcome::Running || known == Outcome::Unfinished)
        return QColor(0xb0, 0x6a, 0x00);
    return QColor(0xc0, 0x00, 0x00);
}

}  // namespace

int HistoryModel::columnOf(const char* name) {
    return int(&historyColumn(name) - historyColumns().data());
}

void HistoryModel::setRows(std::vector<HistoryRow> rows) {
    const bool sameExchanges =
        rows.size() == rows_.size() &&
        std::equal(rows.begin(), rows.end(), rows_.begin(),
                   [](const HistoryRow& a, const HistoryRow& b) { return a.id == b.id; });
    if (!sameExchanges) {
        beginResetModel();
        rows_ = std::move(rows);
        endResetModel();
        return;
    }
    for (size_t at = 0; at < rows.size(); ++at) {
        bool changed = false;
        for (const HistoryColumn& column : historyColumns())
            changed = changed || column.value(rows[at]) != column.value(rows_[at]);
        if (changed) {
            rows_[at] = rows[at];
            emit dataChanged(index(int(at), 0), index(int(at), columnCount() - 1));
        }
    }
}

int HistoryModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(rows_.size());
}

int HistoryModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : int(historyColumns().size());
}

namespace {
// The whole text where a cell cuts it short; a reason also in the technician's words, in
// English and German.
QVariant toolTip(const HistoryRow& row, const HistoryColumn& about) {
    if (about.kind == ColumnKind::Time || about.kind == ColumnKind::Path)
        return shownText(about.text(row));
    if (&about != &historyColumn("reason") && &about != &historyColumn("reason_code"))
        return QVariant();
    QString tip = shownText(row.reason);
    if (const std::optional<ReasonCode> code = reasonCodeFromText(row.reasonCode)) {
        const ReasonAdvice advice = adviceFor(Reason{*code, QString(), {}, {}});
        tip += QStringLiteral("\n\n") + advice.english + QLatin1Char('\n') + advice.german;
    }
    return tip.trimmed();
}
}  // namespace

QVariant HistoryModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid())
        return QVariant();
    const HistoryRow& shown = row(index.row());
    const HistoryColumn& about = column(index.column());
    switch (role) {
        // Other stations' rows and image names from shares: shown as text.
        case Qt::DisplayRole:
            return shownText(about.display(shown));
        case Qt::ToolTipRole:
            return toolTip(shown, about);
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::AlignVCenter |
                                       (about.rightAligned() ? Qt::AlignRight : Qt::AlignLeft));
        case Qt::ForegroundRole:
            return about.kind == ColumnKind::Outcome ? QVariant(outcomeColor(shown.outcome))
                                                     : QVariant();
        case SortRole:
            return about.kind == ColumnKind::Time   ? QVariant(startOf(shown).toMSecsSinceEpoch())
                   : about.kind == ColumnKind::Path ? QVariant(about.display(shown))
                                                    : about.value(shown);
        default:
            return QVariant();
    }
}

QVariant HistoryModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= columnCount())
        return QVariant();
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(column(section).header);
    if (role == Qt::TextAlignmentRole)
        return QVariant::fromValue(
            Qt::AlignVCenter | (column(section).rightAligned() ? Qt::AlignRight : Qt::AlignLeft));
    return QVariant();
}

HistoryFilterModel::HistoryFilterModel(QObject* parent) : QSortFilterProxyModel(parent) {
    setSortRole(HistoryModel::SortRole);
}

const HistoryRow& HistoryFilterModel::rowAt(int proxyRow) const {
    return static_cast<const HistoryModel*>(sourceModel())
        ->row(mapToSource(index(proxyRow, 0)).row());
}

void HistoryFilterModel::setStation(const QString& station) {
    station_ = station;
    invalidateRowsFilter();
}

void HistoryFilterModel::setPort(const QString& port) {
    port_ = port;
    invalidateRowsFilter();
}

void HistoryFilterModel::setOutcome(const QString& outcome) {
    outcome_ = outcome;
    invalidateRowsFilter();
}

void HistoryFilterModel::setKind(const QString& kind) {
    kind_ = kind;
    invalidateRowsFilter();
}

void HistoryFilterModel::setStartedWithin(const QDateTime& from, const QDateTime& to) {
    from_ = from;
    to_ = to;
    invalidateRowsFilter();
}

bool HistoryFilterModel::outcomeChosen(const QString& word) const {
    if (outcome_ != kEveryFailure)
        return word == outcome_;
    const std::optional<Outcome> outcome = outcomeFromWord(word);
    return outcome && isFailure(*outcome);
}

bool HistoryFilterModel::filterAcceptsRow(int sourceRow, const QModelIndex&) const {
    const HistoryRow& row = static_cast<const HistoryModel*>(sourceModel())->row(sourceRow);
    if ((!station_.isEmpty() && row.station != station_) ||
        (!port_.isEmpty() && row.port != port_) ||
        (!outcome_.isEmpty() && !outcomeChosen(row.outcome)) ||
        (!kind_.isEmpty() && row.kind != kind_))
        return false;
    const QDateTime started = startOf(row);
    return (!from_.isValid() || started >= from_) && (!to_.isValid() || started < to_);
}

}  // namespace tarvel
