#pragma once

#include <QtGlobal>

namespace tarvel {

// RGB (0x00BBGGRR) of a Windows system colour index, taken from the desktop palette on every
// platform; index 15 is the button face. Unknown indexes give the window background.
quint32 systemColorFromPalette(int index);

}  // namespace tarvel
