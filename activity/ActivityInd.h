#pragma once

#include "platform/ColorRef.h"

#include <QImage>
#include <QString>
#include <QtGlobal>

#include <functional>

namespace tarvel {

class PropertyBag;
class Surface;

// The activity indicator: a small self-drawing control that shows a turning symbol. It keeps
// Style and Step, takes its two colours from its surface, composes every frame in the off-screen
// buffer actBuf and copies it to the surface in one block.
class ActivityInd {
  public:
    static constexpr qint32 kDefaultStyle = 0;
    static constexpr qint16 kDefaultStep = 0;
    static constexpr quint32 kDefaultBackColor = 0x8000000F;  // system colour 15, button face
    static constexpr quint32 kDefaultForeColor = 0x00500000;  // dark navy
    static constexpr quint32 kSystemColorFlag = 0x80000000;

    explicit ActivityInd(Surface& surface);

    qint32 Style() const { return style_; }
    void setStyle(qint32 NewStyle);
    quint32 BackColor() const;
    void setBackColor(quint32 NewBackColor);
    quint32 ForeColor() const;
    void setForeColor(quint32 NewForeColor);
    qint32 Step() const { return step_; }
    void setStep(qint32 NewStep);

    // Notifications of the host.
    void InitProperties();
    void ReadProperties(const PropertyBag& bag);
    void WriteProperties(PropertyBag& bag) const;
    void Resize();
    void Paint();

    // A persisted property has changed (its property-bag name); the host's layout is stale.
    std::function<void(const QString& name)> ReportPropertyChange;

    // The off-screen buffer and its size in pixels as worked out by Resize (real numbers).
    const QImage& buffer() const { return actBuf_; }
    double bufferWidth() const { return bufferWidth_; }
    double bufferHeight() const { return bufferHeight_; }

    // Plain RGB of a colour: system colours (bit 31 set) become the desktop's current value.
    quint32 XlatColor(quint32 lColor) const;

  private:
    void reportChange(const QString& name);

    Surface& surface_;
    qint32 style_ = kDefaultStyle;
    qint16 step_ = kDefaultStep;
    QImage actBuf_;
    double bufferWidth_ = 0;
    double bufferHeight_ = 0;
};

}  // namespace tarvel
