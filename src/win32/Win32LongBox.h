// A message too tall for the screen (a delete question listing every
// selected user) in a box of its own: the whole text in a scrollable,
// read-only text area, the buttons always visible. MessageBoxW would cut the
// text at the bottom of the screen.
#pragma once

#include <string>

#include <windows.h>

namespace solne::win32 {

// True when MessageBoxW could not show every line of `text` on the screen.
bool TooTallForMessageBox(const std::wstring& text);

// Shows the box modally over `owner` (may be nullptr) and returns what
// MessageBoxW would: IDOK, IDYES, IDNO or IDCANCEL (Esc and the close box).
// `type` is read as MessageBoxW reads it: buttons, icon, default button.
int LongMessageBox(HWND owner, const std::wstring& text, const std::wstring& caption, UINT type);

}  // namespace solne::win32
