// Text for the Windows services: our strings are UTF-8, the W functions take
// UTF-16. Every path goes through these, so the program behaves the same
// whatever the system's ANSI code page is.
#pragma once

#include <string>
#include <string_view>

namespace solne::win32 {

// Bytes of a code page to UTF-16. Bytes that are no character of the code
// page give false (and nothing is guessed).
bool Decode(unsigned codePage, std::string_view bytes, std::wstring& out);
// UTF-8 to UTF-16 (Decode with CP_UTF8).
bool Widen(std::string_view utf8, std::wstring& out);
// UTF-16 to UTF-8; an unpaired surrogate gives false.
bool Narrow(std::wstring_view wide, std::string& out);

// A path for the W functions: UTF-8 to UTF-16 with "/" turned into "\".
// Ill-formed UTF-8 gives an empty path (which every service refuses).
std::wstring WidePath(std::string_view utf8);

// The file services' value for a Windows error code (GetLastError): the
// table of WinErrors.h, the code kept beside it (PortableErrorKept).
int ErrnoOf(unsigned long winError);

}  // namespace solne::win32
