// EncodeKeyword on arbitrary bytes: only unreserved ASCII passes unescaped, every escape
// is '%' and two upper-case hex digits, and decoding gives the bytes back.
#include "collect/search_request.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool condition) {
    if (!condition)
        std::abort();
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

bool PassesUnescaped(unsigned char b) {
    return (b != 0 && std::strchr("*-.@_", b) != nullptr) || (b >= '0' && b <= '9') ||
           (b >= 'A' && b <= 'Z') || (b >= 'a' && b <= 'z');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const Text keyword(reinterpret_cast<const char*>(data), size);
    const Text encoded = EncodeKeyword(keyword);
    Text decoded;
    for (size_t i = 0; i < encoded.size(); ++i) {
        const auto c = static_cast<unsigned char>(encoded[i]);
        if (c == '%') {
            Check(i + 2 < encoded.size());
            const int high = HexValue(encoded[i + 1]);
            const int low = HexValue(encoded[i + 2]);
            Check(high >= 0 && low >= 0);
            const auto byte = static_cast<unsigned char>(high * 16 + low);
            Check(!PassesUnescaped(byte));
            decoded += static_cast<char>(byte);
            i += 2;
        } else {
            Check(PassesUnescaped(c));
            decoded += static_cast<char>(c);
        }
    }
    Check(decoded == keyword || decoded == UpToFirstZero(keyword));
    return 0;
}
