// Dialog-unit geometry: window and About-box sizes come from their templates
// in dialog units, converted here and nowhere else.
#pragma once

namespace platform {

// Base units of the templates' 8-point "MS Shell Dlg" face at 96 dpi: the em
// is 8 * 96 / 72 = 10.7 px, the character cell (tmHeight) 13 px, and the
// average width of "A".."Z" and "a".."z" 6 px.
constexpr int kDialogCharWidth = 6;
constexpr int kDialogCharHeight = 13;

// x * avgCharWidth / 4 and y * charHeight / 8, rounded as MulDiv rounds.
constexpr int DialogUnitsToPixelsX(int x) { return (x * kDialogCharWidth + 2) / 4; }
constexpr int DialogUnitsToPixelsY(int y) { return (y * kDialogCharHeight + 4) / 8; }

// Dialog template 102, the main window's client area: 393 x 265 units.
constexpr int kMainClientWidth = DialogUnitsToPixelsX(393);
constexpr int kMainClientHeight = DialogUnitsToPixelsY(265);
static_assert(kMainClientWidth == 590 && kMainClientHeight == 431, "template 102 at 96 dpi");

}  // namespace platform
