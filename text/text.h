#pragma once

#include <cstdint>
#include <string>

// Text is a byte string in code page 936 (GBK). Every keyword, page, file content,
// setting and message is handled as such bytes; only the window converts to QString.
using Text = std::string;

// True for a byte that starts a double-byte character of code page 936.
inline bool IsLeadByte(unsigned char byte) {
    return byte >= 0x80;
}

// The text up to (not including) its first zero byte.
Text UpToFirstZero(const Text& text);

// Integer value of a Text: full-width digits, signs and spaces of code page 936 become
// their ASCII forms, then leading white space, an optional sign and the digits up to the
// first other character are read. Overflow wraps modulo 2^32 ("2147483648" -> -2147483648).
// A text that does not begin with a number is 0.
int32_t TextToInt(const Text& text);
