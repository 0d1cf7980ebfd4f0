// The font of the window's controls. The layout fixes the boxes, buttons and
// labels in twips, so a font fits only when its cell is low enough: the
// platform's message font is kept where its metrics fit at the window's DPI
// (IPAGothic under Wine, MS UI Gothic on older Japanese Windows), and
// otherwise (Yu Gothic UI on Windows 10 and 11 is taller than the 18-pixel
// text boxes allow at 96 DPI) MS UI Gothic 9 pt, which every Japanese
// Windows has. The choice is made from the fonts' metrics when the window is
// made and whenever its DPI changes.
#pragma once

#include <string>

#include <windows.h>

namespace solne::win32 {

// The message font of the system (the font of message boxes and dialogs).
LOGFONTW SystemMessageFont();

// How far the ink of `text` reaches in the font selected into `dc`: its
// advance less the blank the last character leaves on its right (the
// right half of a full-width "："), which may fall outside a control.
int InkWidth(HDC dc, const std::wstring& text);

// What a font measures at a DPI, against the layout.
struct FontFit {
    int cellHeight = 0;  // tmHeight in pixels
    bool fits = false;   // every caption, box text and row shows whole
};

// Measures `font` (lfHeight in pixels at `dpi`) against every control of the
// layout at `dpi`.
FontFit MeasureFont(const LOGFONTW& font, int dpi);

// The font for the controls at `dpi`: `messageFont` (whose lfHeight is meant
// for `systemDpi`) scaled to `dpi` when it fits, else MS UI Gothic 9 pt when
// that fits, else the lower of the two.
LOGFONTW ChooseControlFont(const LOGFONTW& messageFont, int dpi, int systemDpi);

}  // namespace solne::win32
