#pragma once

#include "app/HistoryModel.h"

#include <QDialog>
#include <QThread>

#include <functional>

class QComboBox;
class QDateEdit;
class QLabel;
class QMenu;
class QTableView;
class QTimer;

namespace tarvel {

class HistoryReader;
class SettingsStore;

// Log → History…: the history of updates and tests of every process on this state folder, read
// only, newest first. The technician filters it by port, outcome, kind and date, sorts it by
// any column, chooses the columns (remembered, as is the window's size), copies rows and
// exports what is shown to CSV; a double click opens a row's log. A row still "running" may be
// another program's update under way. While shown it follows the history by itself, keeping
// the selection: the database is read on a thread of its own whenever its files change, and
// when this program has written to it.
class HistoryWindow : public QDialog {
  public:
    // How often the history's files are looked at while the window is shown.
    static constexpr int kLookEveryMs = 2000;

    HistoryWindow(const QString& stateFolder, SettingsStore& settings, QWidget* parent);
    ~HistoryWindow() override;

    // Reads the history anew (on the reader's thread; the rows follow).
    void refresh();
    QTableView* table() const { return table_; }
    HistoryModel& rows() { return rows_; }
    HistoryFilterModel& shown() { return shown_; }
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
    void look(bool force);
    void showRows(std::vector<HistoryRow> rows);
    void applyFilters();
    void fillPorts();
    QMenu* columnMenu();
    void saveColumns();
    void restoreColumns();

    SettingsStore& settings_;
    HistoryModel rows_;
    HistoryFilterModel shown_;
    QThread thread_;
    HistoryReader* reader_;
    bool reading_ = false;
    bool lookAgain_ = false;
    bool sized_ = false;
    QTimer* timer_;
    QComboBox* port_;
    QComboBox* outcome_;
    QComboBox* kind_;
    QComboBox* when_;
    QWidget* range_;
    QDateEdit* from_;
    QDateEdit* to_;
    QLabel* count_;
    QTableView* table_;
};

}  // namespace tarvel
