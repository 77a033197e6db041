#include "text/text.h"

Text UpToFirstZero(const Text& text) {
    const auto zero = text.find('\0');
    return zero == Text::npos ? text : text.substr(0, zero);
}

namespace {

// Full-width forms in code page 936: digits A3B0..A3B9, plus A3AB, minus A3AD, space A1A1.
char AsciiFormOf(unsigned char lead, unsigned char trail) {
    if (lead == 0xA3 && trail >= 0xB0 && trail <= 0xB9)
        return static_cast<char>('0' + (trail - 0xB0));
    if (lead == 0xA3 && trail == 0xAB)
        return '+';
    if (lead == 0xA3 && trail == 0xAD)
        return '-';
    if (lead == 0xA1 && trail == 0xA1)
        return ' ';
    return 0;
}

bool IsBlank(char c) {
    return c == ' ' || (c >= '\t' && c <= '\r');
}

} // namespace

int32_t TextToInt(const Text& text) {
    // Only the leading part that can still form a number matters, so the full-width
    // forms are folded while scanning, one character at a time.
    Text ascii;
    for (size_t i = 0; i < text.size() && text[i] != '\0'; ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (!IsLeadByte(byte)) {
            ascii += text[i];
            continue;
        }
        if (i + 1 >= text.size())
            break;
        const char folded = AsciiFormOf(byte, static_cast<unsigned char>(text[i + 1]));
        if (folded == 0)
            break;
        ascii += folded;
        ++i;
    }

    size_t pos = 0;
    while (pos < ascii.size() && IsBlank(ascii[pos]))
        ++pos;
    bool negative = false;
    if (pos < ascii.size() && (ascii[pos] == '+' || ascii[pos] == '-')) {
        negative = ascii[pos] == '-';
        ++pos;
    }
    uint32_t value = 0;
    for (; pos < ascii.size() && ascii[pos] >= '0' && ascii[pos] <= '9'; ++pos)
        value = value * 10u + static_cast<uint32_t>(ascii[pos] - '0');
    if (negative)
        value = 0u - value;
    return static_cast<int32_t>(value);
}
