#pragma once

#include "platform/Surface.h"

#include <QImage>
#include <QWidget>

namespace tarvel {

class ActivityInd;

// The indicator's child window: it owns the two colours, reports its size in twips (15 twips a
// pixel), and shows the frames the control composes.
class ActivityIndWidget : public QWidget, public Surface {
  public:
    static constexpr double kTwipsPerPixel = 15.0;

    explicit ActivityIndWidget(QWidget* parent = nullptr);
    void setControl(ActivityInd* control) { control_ = control; }

    quint32 backColor() const override { return backColor_; }
    void setBackColor(quint32 color) override { backColor_ = color; }
    quint32 foreColor() const override { return foreColor_; }
    void setForeColor(quint32 color) override { foreColor_ = color; }
    double widthTwips() const override { return width() * kTwipsPerPixel; }
    double heightTwips() const override { return height() * kTwipsPerPixel; }
    double twipsPerPixelX() const override { return kTwipsPerPixel; }
    double twipsPerPixelY() const override { return kTwipsPerPixel; }
    quint32 systemColor(int index) const override;
    void present(const QImage& frame) override;

    const QImage& shownFrame() const { return frame_; }

  protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

  private:
    ActivityInd* control_ = nullptr;
    quint32 backColor_ = 0;
    quint32 foreColor_ = 0;
    QImage frame_;
    bool inPaintEvent_ = false;
};

}  // namespace tarvel
