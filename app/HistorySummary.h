#pragma once

#include "record/HistoryReport.h"

#include <QString>
#include <QWidget>

#include <functional>
#include <vector>

class QComboBox;
class QLabel;
class QTableWidget;

namespace tarvel {

// The History window's Summary: the figures of the updates its filters select, grouped as
// chosen, with a yield bar per group and the Pareto of failure reasons, from a report that the
// database counted (the same figures as `tarvel-update report`).
class HistorySummary : public QWidget {
  public:
    explicit HistorySummary(QWidget* parent = nullptr);

    std::vector<ReportGroup> grouping() const;
    void setReport(const HistoryReport& report);
    // Why there is no report to show.
    void setProblem(const QString& why);

    // The technician chose another grouping.
    std::function<void()> onGroupingChanged;

  private:
    QComboBox* by_;
    QTableWidget* figures_;
    QWidget* chart_;
    QLabel* problem_;
};

}  // namespace tarvel
