#pragma once

#include <QSize>
#include <QWidget>

#include <vector>

namespace tarvel {

// How many columns count tiles take in area so that each is as large as it can be for its
// smallest readable size (minimum), kept in that size's proportions: 8 tiles in four columns of
// two rows on a 1024 × 768 screen, 16 in six columns of three on 1920 × 1080.
int stationColumns(int count, QSize area, QSize minimum);

// The tiles in the grid that fits them, filling the widget. Where even that leaves a tile below
// its smallest readable size, the grid asks for the room it needs, and the scroll area around it
// scrolls: a tile is never cut.
class StationGrid : public QWidget {
  public:
    explicit StationGrid(QWidget* parent = nullptr) : QWidget(parent) {}

    void setTiles(std::vector<QWidget*> tiles);
    QSize minimumSizeHint() const override;

  protected:
    void resizeEvent(QResizeEvent* event) override;

  private:
    QSize smallestTile() const;
    void place();

    std::vector<QWidget*> tiles_;
};

}  // namespace tarvel
