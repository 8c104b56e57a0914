#pragma once

namespace tarvel {

// The keys the main window acts on, as key-down codes (the function keys, Esc) and as the
// character codes of the key-press event (Ctrl+T). The window's toolkit maps its own keys to
// these.
namespace keys {
constexpr int kF1 = 112;     // Update, after a box "F1"
constexpr int kF2 = 113;     // expert login, after a box "F2"
constexpr int kEscape = 27;  // Exit
constexpr int kCtrlT = 20;   // the communication test (a character code)
}  // namespace keys

}  // namespace tarvel
