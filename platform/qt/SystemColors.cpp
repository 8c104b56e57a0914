#include "platform/qt/SystemColors.h"

#include "platform/ColorRef.h"

#include <QGuiApplication>
#include <QPalette>

namespace tarvel {

namespace {
struct PaletteEntry {
    QPalette::ColorGroup group;
    QPalette::ColorRole role;
};

PaletteEntry paletteEntryFor(int index) {
    switch (index) {
        case 1:
            return {QPalette::Active, QPalette::Window};  // desktop
        case 2:
            return {QPalette::Active, QPalette::Highlight};  // active caption
        case 3:
            return {QPalette::Inactive, QPalette::Highlight};  // inactive caption
        case 4:
            return {QPalette::Active, QPalette::Window};  // menu
        case 5:
            return {QPalette::Active, QPalette::Base};  // window
        case 6:
            return {QPalette::Active, QPalette::Shadow};  // window frame
        case 7:
            return {QPalette::Active, QPalette::WindowText};  // menu text
        case 8:
            return {QPalette::Active, QPalette::Text};  // window text
        case 9:
            return {QPalette::Active, QPalette::HighlightedText};  // caption text
        case 12:
            return {QPalette::Active, QPalette::Dark};  // app workspace
        case 13:
            return {QPalette::Active, QPalette::Highlight};  // highlight
        case 14:
            return {QPalette::Active, QPalette::HighlightedText};  // highlight text
        case 15:
            return {QPalette::Active, QPalette::Button};  // button face
        case 16:
            return {QPalette::Active, QPalette::Mid};  // button shadow
        case 17:
            return {QPalette::Disabled, QPalette::Text};  // grey text
        case 18:
            return {QPalette::Active, QPalette::ButtonText};  // button text
        case 19:
            return {QPalette::Inactive, QPalette::HighlightedText};  // inactive caption text
        case 20:
            return {QPalette::Active, QPalette::Light};  // button highlight
        case 21:
            return {QPalette::Active, QPalette::Shadow};  // 3D dark shadow
        case 22:
            return {QPalette::Active, QPalette::Midlight};  // 3D light
        case 23:
            return {QPalette::Active, QPalette::ToolTipText};  // info text
        case 24:
            return {QPalette::Active, QPalette::ToolTipBase};  // info background
        default:
            return {QPalette::Active, QPalette::Window};
    }
}
}  // namespace

quint32 systemColorFromPalette(int index) {
    const PaletteEntry entry = paletteEntryFor(index);
    return colorRefFromRgb(QGuiApplication::palette().color(entry.group, entry.role).rgb());
}

}  // namespace tarvel
