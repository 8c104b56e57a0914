#pragma once

#include <QColor>
#include <QtGlobal>

namespace tarvel {

// Colours travel through the program as 0x00BBGGRR (red in the low byte); Qt wants 0xAARRGGBB.
inline QRgb rgbFromColorRef(quint32 color) {
    return qRgb(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

inline quint32 colorRefFromRgb(QRgb rgb) {
    return static_cast<quint32>(qRed(rgb)) | (static_cast<quint32>(qGreen(rgb)) << 8) |
           (static_cast<quint32>(qBlue(rgb)) << 16);
}

}  // namespace tarvel
