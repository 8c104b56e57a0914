#pragma once

#include <QLabel>
#include <QPainter>

#include <algorithm>

namespace tarvel {

// A status-bar panel for text of any length: it takes the room the bar gives it, shows as much
// as fits with "…" at the end, and the whole text as its tooltip. It never widens the window
// beyond what setWholeUpTo allows: a text up to that width stays whole.
class ElidedLabel : public QLabel {
  public:
    using QLabel::QLabel;

    void setFullText(const QString& text) {
        full_ = text;
        setToolTip(text);
        updateGeometry();
        update();
    }
    const QString& fullText() const { return full_; }
    void setWholeUpTo(int width) {
        wholeUpTo_ = width;
        updateGeometry();
    }
    QSize minimumSizeHint() const override {
        return {std::min(wholeUpTo_, sizeHint().width()), QLabel::minimumSizeHint().height()};
    }
    QSize sizeHint() const override {
        return {fontMetrics().horizontalAdvance(full_) + 8, QLabel::sizeHint().height()};
    }

  protected:
    void paintEvent(QPaintEvent* event) override {
        QLabel::paintEvent(event);
        QPainter painter(this);
        painter.setPen(palette().color(QPalette::WindowText));
        const QRect room = contentsRect().adjusted(3, 0, -3, 0);
        painter.drawText(room, Qt::AlignLeft | Qt::AlignVCenter,
                         fontMetrics().elidedText(full_, Qt::ElideRight, room.width()));
    }

  private:
    QString full_;
    int wholeUpTo_ = 0;
};

}  // namespace tarvel
