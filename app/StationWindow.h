#pragma once

#include "app/ElidedLabel.h"
#include "app/ShiftCounts.h"
#include "app/StationGrid.h"
#include "app/StationTile.h"
#include "central/HistoryForwarder.h"
#include "station/StationPort.h"

#include <QAction>
#include <QCheckBox>
#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <vector>

namespace tarvel {

class HistoryWindow;
class SettingsStore;

// Where the station window finds what it runs.
struct StationSetup {
    QString program;      // tarvel-update, whose `update --json` each port runs
    QString imageFolder;  // handed to every update
    QString stateFolder;  // the station's record, where the shift is counted
};

// The station window: one tile per port of [Station] Ports=, each port's module updated by a
// `tarvel-update update --json` process of its own (StationPort, as the command line's station
// does). F1 starts every idle port that is there, a tile's number key (or a click) starts or
// acknowledges it, Esc stops every update after asking. With Repeat each port waits for its next
// module after each update; a failure holds its port red until it is acknowledged. The shift's
// counts come from the history rows the updates wrote.
class StationWindow : public QMainWindow {
  public:
    StationWindow(SettingsStore& settings, StationSetup setup, QWidget* parent = nullptr);
    ~StationWindow() override;

    // F1: every idle port whose device is there.
    void startIdle();
    // A tile's key or click: starts an idle port, acknowledges a failed one.
    void press(int index);
    // Esc: after asking, every update ends interrupted and is recorded; false when not asked to.
    bool stopAll();
    // "New shift": the counts begin again.
    void newShift();
    // The ports, as [Station] Ports= names them; why not when they cannot be taken (or
    // while an update runs).
    QString setPorts(const QStringList& ports);
    // Whether any port's update runs.
    bool busy() const;
    // Every port's view now (also what the tiles show).
    std::vector<PortView> views() const;

    int tileCount() const { return static_cast<int>(tiles_.size()); }
    StationTile& tile(int index) { return *tiles_.at(index); }
    StationGrid& grid() { return *grid_; }
    ShiftCounts& counts() { return *counts_; }
    QString totals() const { return totals_->fullText(); }

    // The operator's answer to a question (Yes: true); a message box unless a test answers.
    std::function<bool(const QString& text, const QString& title)> ask;
    // Shown when the history is asked for; made on first use.
    std::function<void()> onShowHistory;

  protected:
    void closeEvent(QCloseEvent* event) override;

  private:
    void makeToolBar();
    void makeKeys();
    void makePorts(const QStringList& names);
    void redraw();
    void lookForDevices();
    void changePorts();
    void portFinished();

    SettingsStore& settings_;
    StationSetup setup_;
    std::vector<std::unique_ptr<StationPort>> ports_;
    std::vector<StationTile*> tiles_;
    std::vector<bool> present_;
    StationGrid* grid_;
    ElidedLabel* totals_;
    QCheckBox* repeat_;
    std::unique_ptr<ShiftCounts> counts_;
    std::unique_ptr<HistoryForwarder> forwarder_;
    QTimer redraw_;
    QTimer devices_;
    bool closing_ = false;
    QString portsProblem_;  // why Ports= was not taken whole
};

}  // namespace tarvel
