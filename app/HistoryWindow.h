#pragma once

#include "app/HistoryModel.h"
#include "app/HistoryReader.h"

#include <QDialog>

#include <functional>
#include <memory>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QLayout;
class QMenu;
class QTableView;
class QTimer;

namespace tarvel {
class HistorySummary;
}

namespace tarvel {

class ElidedLabel;
class SettingsStore;

// Log → History…: the history of updates and tests of every process on this state folder, or,
// with a line's history set ([History] Database=), of every station on the line; read only,
// newest first. The technician filters it by station, port, outcome, kind and date, sorts it
// by any column, chooses the columns (remembered, as is the window's size), copies rows and
// exports what is shown to CSV; a double click opens the log of a row of this station. "This
// station only" shows this station's own file instead of the line's. A row still "running" may
// be another program's update under way. While shown it follows the history by itself,
// keeping the selection: the history is read on a worker of its own whenever its files (or the
// server's rows) change, and when this program has written to it. A line's history that cannot
// be read is one line above the rows, which are then this station's own.
class HistoryWindow : public QDialog {
  public:
    // How often the history's files are looked at while the window is shown.
    static constexpr int kLookEveryMs = 2000;

    // The line's history from the settings ([Station] Name=, [History] Database=).
    HistoryWindow(const QString& stateFolder, SettingsStore& settings, QWidget* parent);
    HistoryWindow(const QString& stateFolder, const HistoryDestination& line,
                  SettingsStore& settings, QWidget* parent);
    ~HistoryWindow() override;

    // Reads the history anew (on the reader's thread; the rows follow).
    void refresh();
    QTableView* table() const { return table_; }
    HistoryModel& rows() { return rows_; }
    HistoryFilterModel& shown() { return shown_; }
    // Why this station's own rows are shown although the line's were asked for; empty when
    // the rows are those asked for.
    QString notice() const;
    // The rows shown are the line's, every station's.
    bool showsLine() const { return showsLine_; }
    // The row's log, on a double click.
    std::function<void(const QString& path)> onOpenLog;
    // Where Export writes; empty: not now. A save dialog unless a test sets another.
    std::function<QString()> chooseExportFile;

    // The shown rows in their order, every column in full under its name, as RFC 4180 text.
    QString exportText() const;
    void copySelection() const;
    bool exportTo(const QString& path);

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void setUpTable();
    void setUpFilters(bool centralHistory);
    QLayout* buttonRow();
    void layOut(QLayout* buttons);
    void look(bool force);
    // What the filters select, as the history's own filter.
    HistoryFilter filter() const;
    void summarize();
    void showRows(HistoryRead read);
    void applyFilters();
    // The choices of a filter: All and the values of the rows, the chosen one kept.
    void fillChoices(QComboBox* box, QString HistoryRow::*field);
    QMenu* columnMenu();
    void saveColumns();
    void restoreColumns();

    SettingsStore& settings_;
    QString ownStation_;  // this station's name, as its rows carry it
    HistoryModel rows_;
    HistoryFilterModel shown_;
    Worker<HistoryReader> reader_;
    bool reading_ = false;
    bool lookAgain_ = false;
    bool sized_ = false;
    bool showsLine_ = false;
    QTimer* timer_;
    QComboBox* station_;
    QComboBox* port_;
    QComboBox* outcome_;
    QComboBox* kind_;
    QComboBox* when_;
    QWidget* range_;
    QDateEdit* from_;
    QDateEdit* to_;
    QCheckBox* local_;
    ElidedLabel* notice_;
    QLabel* count_;
    QTableView* table_;
    HistorySummary* summary_;
};

}  // namespace tarvel
