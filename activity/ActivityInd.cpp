#include "activity/ActivityInd.h"

#include "platform/PropertyBag.h"
#include "platform/Surface.h"

#include <algorithm>
#include <cmath>

namespace tarvel {

namespace {
const QString kStyleEntry = QStringLiteral("Style");
const QString kStepEntry = QStringLiteral("Step");
const QString kBackColorEntry = QStringLiteral("BackColor");
const QString kForeColorEntry = QStringLiteral("ForeColor");

qint16 clampStep(qint64 step) {
    return static_cast<qint16>(std::clamp<qint64>(step, 0, 100));
}
}  // namespace

ActivityInd::ActivityInd(Surface& surface) : surface_(surface) {}

void ActivityInd::setStyle(qint32 NewStyle) {
    style_ = NewStyle;
    Paint();
    reportChange(kStyleEntry);
}

quint32 ActivityInd::BackColor() const {
    return surface_.backColor();
}

void ActivityInd::setBackColor(quint32 NewBackColor) {
    surface_.setBackColor(NewBackColor);
    Paint();
    reportChange(kBackColorEntry);
}

quint32 ActivityInd::ForeColor() const {
    return surface_.foreColor();
}

void ActivityInd::setForeColor(quint32 NewForeColor) {
    surface_.setForeColor(NewForeColor);
    Paint();
    reportChange(kForeColorEntry);
}

void ActivityInd::setStep(qint32 NewStep) {
    const qint16 step = clampStep(NewStep);
    if (step != step_) {
        step_ = step;
        Paint();
    }
    reportChange(kStepEntry);
}

void ActivityInd::InitProperties() {
    style_ = kDefaultStyle;
    step_ = kDefaultStep;
    surface_.setForeColor(kDefaultForeColor);
    surface_.setBackColor(kDefaultBackColor);
}

void ActivityInd::ReadProperties(const PropertyBag& bag) {
    style_ = static_cast<qint32>(bag.read(kStyleEntry, kDefaultStyle));
    // The painting counts on Step staying within 0 to 100, so a stored value is kept in range.
    step_ = clampStep(bag.read(kStepEntry, kDefaultStep));
    surface_.setBackColor(static_cast<quint32>(bag.read(kBackColorEntry, kDefaultBackColor)));
    surface_.setForeColor(static_cast<quint32>(bag.read(kForeColorEntry, kDefaultForeColor)));
}

void ActivityInd::WriteProperties(PropertyBag& bag) const {
    bag.write(kStyleEntry, style_, kDefaultStyle);
    bag.write(kStepEntry, step_, kDefaultStep);
    bag.write(kBackColorEntry, surface_.backColor(), kDefaultBackColor);
    bag.write(kForeColorEntry, surface_.foreColor(), kDefaultForeColor);
}

void ActivityInd::Resize() {
    bufferWidth_ = surface_.widthTwips() / surface_.twipsPerPixelX();
    bufferHeight_ = surface_.heightTwips() / surface_.twipsPerPixelY();
    const int width = static_cast<int>(std::nearbyint(bufferWidth_));
    const int height = static_cast<int>(std::nearbyint(bufferHeight_));
    if (width != actBuf_.width() || height != actBuf_.height())
        actBuf_ = QImage(qMax(width, 0), qMax(height, 0), QImage::Format_RGB32);
}

quint32 ActivityInd::XlatColor(quint32 lColor) const {
    if (lColor & kSystemColorFlag)
        return surface_.systemColor(static_cast<int>(lColor & 0x00FFFFFF));
    return lColor;
}

void ActivityInd::reportChange(const QString& name) {
    if (ReportPropertyChange)
        ReportPropertyChange(name);
}

}  // namespace tarvel
