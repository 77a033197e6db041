#include "collect/search_request.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <utility>

namespace {

struct EncodeCase {
    const char* name;
    Text keyword;
    Text encoded;
};

void PrintTo(const EncodeCase& c, std::ostream* out) {
    *out << c.name;
}

class EncodeKeywordTest : public ::testing::TestWithParam<EncodeCase> {};

TEST_P(EncodeKeywordTest, EscapesBytes) {
    EXPECT_EQ(EncodeKeyword(GetParam().keyword), GetParam().encoded);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, EncodeKeywordTest,
    ::testing::Values(EncodeCase{"space_is_percent_20", "a b", "a%20b"},
                      EncodeCase{"plus_escaped", "a+b", "a%2Bb"},
                      EncodeCase{"plain_punctuation_kept", "1.5-a_b*", "1.5-a_b*"},
                      EncodeCase{"commercial_at_kept", "me@home", "me@home"},
                      EncodeCase{"chinese_character", "\xD6\xD0", "%D6%D0"},
                      EncodeCase{"query_syntax_escaped", "/?&=#%", "%2F%3F%26%3D%23%25"},
                      EncodeCase{"empty", "", ""}),
    [](const auto& info) { return std::string(info.param.name); });

// The escape set written out as ranges, independently of how the encoder decides.
bool InEscapeSet(int byte) {
    static const std::pair<int, int> kRanges[] = {{0x00, 0x29}, {0x2B, 0x2C}, {0x2F, 0x2F},
                                                  {0x3A, 0x3F}, {0x5B, 0x5E}, {0x60, 0x60},
                                                  {0x7B, 0xFF}};
    for (const auto& [low, high] : kRanges) {
        if (byte >= low && byte <= high)
            return true;
    }
    return false;
}

TEST(EncodeKeywordTest, EscapeSetOverAllBytes) {
    int kept = 0;
    for (int byte = 0; byte < 256; ++byte) {
        const Text single(1, static_cast<char>(byte));
        char escaped[4];
        std::snprintf(escaped, sizeof escaped, "%%%02X", byte);
        EXPECT_EQ(EncodeKeyword(single), InEscapeSet(byte) ? Text(escaped) : single)
            << "byte " << byte;
        kept += InEscapeSet(byte) ? 0 : 1;
    }
    // * - . digits @ A-Z _ a-z
    EXPECT_EQ(kept, 3 + 10 + 1 + 26 + 1 + 26);
}

struct HexCase {
    int byte;
    const char* hex;
};

void PrintTo(const HexCase& c, std::ostream* out) {
    *out << c.hex;
}

class ByteToHexTest : public ::testing::TestWithParam<HexCase> {};

TEST_P(ByteToHexTest, TwoUpperCaseDigits) {
    EXPECT_EQ(ByteToHex(static_cast<unsigned char>(GetParam().byte)), GetParam().hex);
}

INSTANTIATE_TEST_SUITE_P(Cases, ByteToHexTest,
                         ::testing::Values(HexCase{0, "00"}, HexCase{10, "0A"}, HexCase{0x7F, "7F"},
                                           HexCase{0xAB, "AB"}, HexCase{255, "FF"}),
                         [](const auto& info) { return std::string(info.param.hex); });

TEST(SearchAddressTest, HostPathAndOnlyQueryKey) {
    EXPECT_EQ(SearchAddress("a b\xD6\xD0"), "http://www.baidu.com/s?wd=a%20b%D6%D0");
}

} // namespace
