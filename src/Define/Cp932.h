// Code page 932 (Shift_JIS as Windows uses it) to and from UTF-8, and the
// UTF-8 validity test.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace solne {

// Converts code page 932 bytes to UTF-8. Returns false when the bytes are not
// valid code page 932; then *badOffset (if given) is the offset of the first
// byte that could not be converted.
bool Cp932ToUtf8(std::string_view cp932, std::string& utf8, size_t* badOffset = nullptr);

// Converts UTF-8 text to code page 932. Returns false when a character has no
// form in code page 932 (or the text is not valid UTF-8); then *badOffset is
// the byte offset of that character in the UTF-8 text. Never transliterates.
bool Utf8ToCp932(std::string_view utf8, std::string& cp932, size_t* badOffset = nullptr);

// Whether the bytes are valid UTF-8.
bool IsValidUtf8(std::string_view bytes);

// Offset of the first ill-formed UTF-8 sequence, std::string_view::npos when
// the bytes are valid UTF-8.
size_t Utf8ErrorOffset(std::string_view bytes);

// The text as a JSON string in quotes: quotes, backslashes and control
// characters escaped, bytes that are not UTF-8 replaced by U+FFFD.
std::string JsonString(std::string_view text);

}  // namespace solne
