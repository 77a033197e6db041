#include "text/codec.h"
#include "text/text.h"

#include <gtest/gtest.h>

namespace {

struct IntCase {
    const char* name;
    Text text;
    int32_t value;
};

class TextToIntTest : public ::testing::TestWithParam<IntCase> {};

TEST_P(TextToIntTest, ReadsLeadingInteger) {
    EXPECT_EQ(TextToInt(GetParam().text), GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TextToIntTest,
    ::testing::Values(IntCase{"empty", "", 0}, IntCase{"plain", "35", 35},
                      IntCase{"fraction", "1.9", 1}, IntCase{"trailing_letters", "20abc", 20},
                      IntCase{"letters", "abc", 0}, IntCase{"leading_blanks", " \t 12", 12},
                      IntCase{"negative", "-7", -7}, IntCase{"plus", "+8", 8},
                      IntCase{"sign_only", "-", 0},
                      IntCase{"wraps_past_max", "2147483648", INT32_MIN},
                      IntCase{"wraps_twice", "4294967297", 1},
                      IntCase{"max", "2147483647", INT32_MAX},
                      IntCase{"full_width_digits", "\xA3\xB1\xA3\xB2", 12},
                      IntCase{"full_width_sign_and_space", "\xA1\xA1\xA3\xAD\xA3\xB5", -5},
                      IntCase{"mixed_widths",
                              "1\xA3\xB0"
                              "0",
                              100},
                      IntCase{"chinese_first",
                              "\xD6\xD0"
                              "5",
                              0},
                      IntCase{"zero_byte_ends_text",
                              Text("4\0"
                                   "2",
                                   3),
                              4}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(CodecTest, RoundTripsChinese) {
    const QString han = QString::fromUtf8("相关搜索");
    const Text bytes = ToText(han);
    EXPECT_EQ(bytes, "\xCF\xE0\xB9\xD8\xCB\xD1\xCB\xF7");
    EXPECT_EQ(ToQString(bytes), han);
}

TEST(CodecTest, UnmappableCharacterBecomesQuestionMark) {
    EXPECT_EQ(ToText(QString::fromUtf8("a\xE0\xB8\x81"
                                       "b")),
              "a?b"); // a Thai letter
}

} // namespace
