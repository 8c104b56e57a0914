#pragma once

#include <QImage>
#include <QtGlobal>

namespace tarvel {

// The drawing surface of the activity indicator: it owns the two colours and the size, tells
// the desktop's system colours, and shows a finished frame.
class Surface {
  public:
    virtual ~Surface() = default;
    virtual quint32 backColor() const = 0;
    virtual void setBackColor(quint32 color) = 0;
    virtual quint32 foreColor() const = 0;
    virtual void setForeColor(quint32 color) = 0;

    virtual double widthTwips() const = 0;
    virtual double heightTwips() const = 0;
    virtual double twipsPerPixelX() const = 0;
    virtual double twipsPerPixelY() const = 0;

    // RGB (0x00BBGGRR) of a colour of the desktop scheme; index 15 is the button face.
    virtual quint32 systemColor(int index) const = 0;
    // Copies a finished frame onto the screen in one block, before returning.
    virtual void present(const QImage& frame) = 0;
};

}  // namespace tarvel
