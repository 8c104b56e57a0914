#pragma once

#include "app/ElidedLabel.h"
#include "station/StationPort.h"

#include <QColor>
#include <QFrame>
#include <QProgressBar>

#include <functional>

namespace tarvel {

// Passed and failed updates of one port, or of the station, since the shift began.
struct ShiftCount {
    qint64 passed = 0;
    qint64 failed = 0;
};

// The colours of a port's tile, one per state, to be told apart at a glance across a room:
// idle grey, running in the activity indicator's red (a frame around a light face), passed
// green, failed red (the whole face), waiting for the next module amber.
QColor tileColor(PortState state);

// One port of the station window: its key and name, the shift's counts, the status in both
// languages, the module and the image, the progress with its percentage and the elapsed time,
// and on a failure the reason's sentence. Clicked, it does what its key does.
class StationTile : public QFrame {
  public:
    // key: the number key that starts or acknowledges it, 1 to 9; 0: none.
    StationTile(int key, const QString& port, QWidget* parent = nullptr);

    // What the tile shows; present: whether the port's device is there.
    void show(const PortView& view, bool present, ShiftCount count);

    PortState state() const { return state_; }
    QColor face() const;
    // The texts as shown, whole (for tooltips and tests).
    QString title() const { return title_->fullText(); }
    QString english() const { return english_->fullText(); }
    QString german() const { return german_->fullText(); }
    QString module() const { return module_->fullText(); }
    QString reason() const { return reason_->text(); }
    QString counts() const { return counts_->fullText(); }
    QString elapsed() const { return elapsed_->text(); }
    const QProgressBar& progress() const { return *bar_; }

    std::function<void()> onClicked;

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    void setTexts(const PortView& view, bool present);
    void setProgress(const PortView& view);
    void paintTexts(QColor ink);

    int key_;
    PortState state_ = PortState::Idle;
    QFont font_;      // the window's own
    QSize smallest_;  // in that font, with the port's name
    double scale_ = 1;
    ElidedLabel* title_;
    ElidedLabel* counts_;
    ElidedLabel* english_;
    ElidedLabel* german_;
    ElidedLabel* module_;
    QProgressBar* bar_;
    QLabel* elapsed_;
    QLabel* reason_;  // wrapped over as many lines as it takes
};

// The elapsed time as the window's clock shows it: "0:01:05".
QString clockText(double seconds);

}  // namespace tarvel
