#pragma once

#include "record/HistoryStore.h"

#include <QDialog>
#include <QSortFilterProxyModel>
#include <QSqlQueryModel>

#include <functional>

class QComboBox;
class QTableView;

namespace tarvel {

// Log → History…: the history of updates and tests of every process on this state folder, read
// only, newest first, filtered by port and outcome. A row still "running" may be another
// program's update under way. It reads the history anew when shown, on Refresh, and when the
// record of this program has written to it while no exchange runs.
class HistoryWindow : public QDialog {
  public:
    HistoryWindow(const QString& stateFolder, QWidget* parent);

    void refresh();
    QTableView* table() const { return table_; }
    // The row's log, on a double click.
    std::function<void(const QString& path)> onOpenLog;

  private:
    void filterBy(QComboBox* choice, QSortFilterProxyModel& filter);
    int column(const char* name) const;

    HistoryStore history_;
    QSqlQueryModel rows_;
    QSortFilterProxyModel byPort_, byOutcome_;
    QComboBox* port_;
    QComboBox* outcome_;
    QTableView* table_;
};

}  // namespace tarvel
