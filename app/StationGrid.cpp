#include "app/StationGrid.h"

#include <algorithm>

namespace tarvel {

namespace {

constexpr int kGap = 6;

int rowsFor(int count, int columns) {
    return (count + columns - 1) / columns;
}

}  // namespace

int stationColumns(int count, QSize area, QSize minimum) {
    int best = 1;
    double bestScale = -1;
    for (int columns = 1; columns <= std::max(1, count); ++columns) {
        const double width = double(area.width() - kGap * (columns + 1)) / columns;
        const int rows = rowsFor(count, columns);
        const double height = double(area.height() - kGap * (rows + 1)) / rows;
        // How far the smallest tile grows in both directions: the lesser of the two.
        const double scale = std::min(width / minimum.width(), height / minimum.height());
        if (scale > bestScale + 1e-9) {
            best = columns;
            bestScale = scale;
        }
    }
    return best;
}

void StationGrid::setTiles(std::vector<QWidget*> tiles) {
    tiles_ = std::move(tiles);
    for (QWidget* tile : tiles_)
        tile->setParent(this);
    updateGeometry();
    place();
    for (QWidget* tile : tiles_)
        tile->show();
}

QSize StationGrid::smallestTile() const {
    QSize smallest(120, 60);
    for (const QWidget* tile : tiles_)
        smallest = smallest.expandedTo(tile->minimumSizeHint());
    return smallest;
}

// The room of one tile at the smallest: the grid itself needs at least that in one column.
QSize StationGrid::minimumSizeHint() const {
    const QSize tile = smallestTile();
    return {tile.width() + 2 * kGap, tile.height() + 2 * kGap};
}

void StationGrid::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    place();
}

void StationGrid::place() {
    const int count = static_cast<int>(tiles_.size());
    if (count == 0)
        return;
    const QSize smallest = smallestTile();
    // The room the scroll area shows, which the grid fills unless the tiles need more.
    const QSize room = parentWidget() ? parentWidget()->size() : size();
    const int columns = stationColumns(count, room, smallest);
    const int rows = rowsFor(count, columns);
    const int width = std::max(smallest.width(), (this->width() - kGap * (columns + 1)) / columns);
    // Too small a room: the scroll area gets what the tiles need, so that none is cut.
    const int wide = columns * smallest.width() + kGap * (columns + 1);
    const int high = rows * smallest.height() + kGap * (rows + 1);
    setMinimumSize(wide > room.width() ? wide : 0, high > room.height() ? high : 0);
    const int height = std::max(smallest.height(), (this->height() - kGap * (rows + 1)) / rows);
    for (int i = 0; i < count; ++i) {
        tiles_[i]->setGeometry(kGap + (i % columns) * (width + kGap),
                               kGap + (i / columns) * (height + kGap), width, height);
    }
}

}  // namespace tarvel
