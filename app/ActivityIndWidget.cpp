#include "app/ActivityIndWidget.h"

#include "activity/ActivityInd.h"
#include "platform/qt/SystemColors.h"

#include <QPainter>

namespace tarvel {

ActivityIndWidget::ActivityIndWidget(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

quint32 ActivityIndWidget::systemColor(int index) const {
    return systemColorFromPalette(index);
}

// The control's frame goes to the screen before present() returns: outside a paint event the
// widget repaints at once, inside one it is drawn by that same event.
void ActivityIndWidget::present(const QImage& frame) {
    frame_ = frame;
    if (!inPaintEvent_ && isVisible())
        repaint();
}

void ActivityIndWidget::paintEvent(QPaintEvent*) {
    inPaintEvent_ = true;
    if (control_)
        control_->Paint();
    inPaintEvent_ = false;
    QPainter painter(this);
    painter.drawImage(0, 0, frame_);
}

void ActivityIndWidget::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    if (control_)
        control_->Resize();
}

}  // namespace tarvel
