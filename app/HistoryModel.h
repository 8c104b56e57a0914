#pragma once

#include "record/HistoryColumns.h"

#include <QAbstractTableModel>
#include <QDateTime>
#include <QSortFilterProxyModel>

#include <vector>

namespace tarvel {

// The history's rows for the History window, a column per entry of historyColumns(): shown
// short (local time, a file's name, one decimal) with the whole value as a tooltip, figures
// right-aligned, the outcome coloured. SortRole gives what a column sorts by.
class HistoryModel : public QAbstractTableModel {
  public:
    static constexpr int SortRole = Qt::UserRole;

    using QAbstractTableModel::QAbstractTableModel;

    // The rows as read now, newest first. Rows that are the same exchanges in the same order
    // are changed in place, so that a view keeps its selection and where it was scrolled to.
    void setRows(std::vector<HistoryRow> rows);
    const std::vector<HistoryRow>& rows() const { return rows_; }
    const HistoryRow& row(int index) const { return rows_.at(size_t(index)); }
    static const HistoryColumn& column(int index) { return historyColumns().at(size_t(index)); }
    static int columnOf(const char* name);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

  private:
    std::vector<HistoryRow> rows_;
};

// The rows a technician asked for: of one station, port, outcome and kind (empty: any) and
// started in [from, to) (invalid: open).
class HistoryFilterModel : public QSortFilterProxyModel {
  public:
    explicit HistoryFilterModel(QObject* parent = nullptr);

    void setStation(const QString& station);
    void setPort(const QString& port);
    // An outcome's word, or kEveryFailure: every outcome but success and running.
    void setOutcome(const QString& outcome);
    static inline const QString kEveryFailure = QStringLiteral("Every failure");
    void setKind(const QString& kind);
    void setStartedWithin(const QDateTime& from, const QDateTime& to);
    const HistoryRow& rowAt(int proxyRow) const;

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;

  private:
    bool outcomeChosen(const QString& word) const;

    QString station_, port_, outcome_, kind_;
    QDateTime from_, to_;
};

}  // namespace tarvel
