#include "collect/text_between.h"

#include <gtest/gtest.h>

#include <random>

namespace {

// A plain reading of the rules, one step at a time and copying freely; the real
// routines must give the same answers, however they get there.
namespace reference {

unsigned char Fold(unsigned char byte) {
    return byte >= 'A' && byte <= 'Z' ? static_cast<unsigned char>(byte + 32) : byte;
}

int Find(Text text, Text needle, int start, bool ignoreCase) {
    text = UpToFirstZero(text);
    needle = UpToFirstZero(needle);
    const int length = static_cast<int>(text.size());
    if (start < 1)
        start = 1;
    if (start > length)
        return -1;
    if (needle.empty())
        return 1;
    int i = start - 1;
    while (i < length) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (byte >= 0x80 && i + 1 == length)
            return -1;
        if (i + needle.size() <= text.size()) {
            bool same = true;
            for (size_t j = 0; j < needle.size() && same; ++j) {
                const auto a = static_cast<unsigned char>(text[i + j]);
                const auto b = static_cast<unsigned char>(needle[j]);
                same = a == b || (ignoreCase && Fold(a) == Fold(b));
            }
            if (same)
                return i + 1;
        }
        i += byte >= 0x80 ? 2 : 1;
    }
    return -1;
}

Text Mid(Text text, int start, int length) {
    text = UpToFirstZero(text);
    if (start < 1 || length <= 0 || start > static_cast<int>(text.size()))
        return {};
    return text.substr(start - 1, length);
}

Text Left(Text text, int n) {
    text = UpToFirstZero(text);
    return n <= 0 ? Text() : text.substr(0, n);
}

int Len(const Text& text) {
    return static_cast<int>(UpToFirstZero(text).size());
}

Text Between(const Text& text, const Text& left, const Text& right) {
    if (Len(right) > 0 && Len(left) > 0) {
        const int p = Find(text, left, 1, false);
        if (p == -1)
            return {};
        const Text rest = Mid(text, p + Len(left), Len(text));
        return Mid(rest, 1, Find(rest, right, 1, false) - 1);
    }
    if (Len(right) > 0) {
        const int q = Find(text, right, 1, false);
        return q == -1 ? Text() : Left(text, q - 1);
    }
    const int p = Find(text, left, 1, false);
    return p == -1 ? Text() : Mid(text, p + Len(left), Len(text));
}

std::vector<Text> BetweenAll(const Text& text, const Text& left, const Text& right) {
    std::vector<Text> pieces;
    if (Len(left) == 0 || Len(right) == 0)
        return pieces;
    for (int c = Find(text, left, 1, true); c != -1; c = Find(text, left, c + 1, true)) {
        const int d = Find(text, right, c, true);
        pieces.push_back(Mid(text, c + Len(left), d - c - Len(left)));
    }
    return pieces;
}

} // namespace reference

Text Bytes(const char* data, size_t size) {
    return Text(data, size);
}

struct FindCase {
    const char* name;
    Text text;
    Text needle;
    int start;
    bool ignoreCase;
    int position;
};

void PrintTo(const FindCase& c, std::ostream* out) {
    *out << c.name;
}

class FindTest : public ::testing::TestWithParam<FindCase> {};

TEST_P(FindTest, GivesFirstMatchOnTheCharacterScan) {
    const FindCase& c = GetParam();
    EXPECT_EQ(Find(c.text, c.needle, c.start, c.ignoreCase), c.position);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindTest,
    ::testing::Values(
        FindCase{"first_match", "abcabc", "c", 1, false, 3},
        FindCase{"from_start_position", "abcabc", "c", 4, false, 6},
        FindCase{"start_below_one_counts_as_one", "abc", "a", -5, false, 1},
        FindCase{"start_on_last_byte", "abc", "c", 3, false, 3},
        FindCase{"start_past_end", "abc", "c", 4, false, -1},
        FindCase{"needle_longer_than_rest", "abc", "bcd", 1, false, -1},
        FindCase{"empty_needle_gives_one", "abc", "", 2, false, 1},
        FindCase{"empty_needle_past_end", "abc", "", 4, false, -1},
        FindCase{"empty_needle_empty_text", "", "", 1, false, -1},
        FindCase{"trail_byte_equal_to_needle_skipped", "\xD6\x41", "A", 1, false, -1},
        FindCase{"match_after_double_byte_character",
                 "\xD6\x41"
                 "A",
                 "A", 1, false, 3},
        FindCase{"start_on_trail_byte_realigns", "\xD6\x41", "A", 2, false, 2},
        FindCase{"double_byte_needle", "a\xCF\xE0\xB9\xD8", "\xB9\xD8", 1, false, 4},
        FindCase{"double_byte_needle_off_boundary", "\xB0\xCF\xE0\xB9", "\xCF\xE0", 1, false, -1},
        FindCase{"lead_byte_before_end_stops", "ab\xD6", "\xD6", 1, false, -1},
        FindCase{"match_ending_on_lone_lead_byte", "ab\xD6", "b\xD6", 1, false, 2},
        FindCase{"text_ends_at_zero_byte", Bytes("ab\0cd", 5), "c", 1, false, -1},
        FindCase{"needle_ends_at_zero_byte", "abc", Bytes("b\0x", 3), 1, false, 2},
        FindCase{"lead_byte_before_zero_stops", Bytes("a\xD6\0A", 4), "A", 1, false, -1},
        FindCase{"case_sensitive", "xABc", "abc", 1, false, -1},
        FindCase{"ignore_case_folds_letters", "xABc", "abC", 1, true, 2},
        FindCase{"ignore_case_leaves_brackets", "[", "{", 1, true, -1},
        FindCase{"ignore_case_leaves_high_bytes", "\xC1\x41", "\xE1\x41", 1, true, -1},
        FindCase{"ignore_case_folds_trail_letters", "\xB0\x41", "\xB0\x61", 1, true, 1}),
    [](const auto& info) { return std::string(info.param.name); });

struct SubstringCase {
    const char* name;
    Text result;
    Text expected;
};

void PrintTo(const SubstringCase& c, std::ostream* out) {
    *out << c.name;
}

class SubstringTest : public ::testing::TestWithParam<SubstringCase> {};

TEST_P(SubstringTest, CutsBytes) {
    EXPECT_EQ(GetParam().result, GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubstringTest,
    ::testing::Values(SubstringCase{"mid", Mid("abcdef", 2, 3), "bcd"},
                      SubstringCase{"mid_runs_out", Mid("abcdef", 6, 5), "f"},
                      SubstringCase{"mid_start_zero", Mid("abcdef", 0, 3), ""},
                      SubstringCase{"mid_start_past_end", Mid("abcdef", 7, 1), ""},
                      SubstringCase{"mid_length_zero", Mid("abcdef", 2, 0), ""},
                      SubstringCase{"mid_length_negative", Mid("abcdef", 2, -1), ""},
                      SubstringCase{"mid_past_zero_byte", Mid(Bytes("ab\0cd", 5), 4, 1), ""},
                      SubstringCase{"left", Left("abc", 2), "ab"},
                      SubstringCase{"left_more_than_all", Left("abc", 5), "abc"},
                      SubstringCase{"left_zero", Left("abc", 0), ""},
                      SubstringCase{"left_negative", Left("abc", -1), ""},
                      SubstringCase{"left_stops_at_zero_byte", Left(Bytes("a\0b", 3), 3), "a"}),
    [](const auto& info) { return std::string(info.param.name); });

struct SingleCase {
    const char* name;
    Text text;
    Text left;
    Text right;
    Text expected;
};

void PrintTo(const SingleCase& c, std::ostream* out) {
    *out << c.name;
}

class SingleFormTest : public ::testing::TestWithParam<SingleCase> {};

TEST_P(SingleFormTest, GivesTextBetweenFirstMarkers) {
    const SingleCase& c = GetParam();
    EXPECT_EQ(TextBetween(c.text, c.left, c.right), c.expected);
}

// "相关搜索</th><th>" in code page 936.
const Text kBlockLeft = "\xCF\xE0\xB9\xD8\xCB\xD1\xCB\xF7</th><th>";

INSTANTIATE_TEST_SUITE_P(
    Cases, SingleFormTest,
    ::testing::Values(SingleCase{"between", "aXbYc", "X", "Y", "b"},
                      SingleCase{"right_follows_at_once", "aXYb", "X", "Y", ""},
                      SingleCase{"left_absent", "aYb", "X", "Y", ""},
                      SingleCase{"right_absent_after_left", "aYbXc", "X", "Y", ""},
                      SingleCase{"first_left_counts", "XaXbY", "X", "Y", "aXb"},
                      SingleCase{"right_searched_after_left", "XYaY", "XY", "Y", "a"},
                      SingleCase{"case_sensitive", "x</th>y</td>", "</TH>", "</td>", ""},
                      SingleCase{"case_matches", "x</th>y</td>", "</th>", "</td>", "y"},
                      SingleCase{"left_empty", "abYc", "", "Y", "ab"},
                      SingleCase{"right_empty", "aXbc", "X", "", "bc"},
                      SingleCase{"both_empty", "abc", "", "", "abc"},
                      SingleCase{"both_empty_empty_text", "", "", "", ""},
                      SingleCase{"text_ends_at_zero_byte", Bytes("aXb\0Yc", 6), "X", "Y", ""},
                      SingleCase{"page_block", "<th>" + kBlockLeft + "<a>k</a></table></div><p>",
                                 kBlockLeft, "</table></div>", "<a>k</a>"}),
    [](const auto& info) { return std::string(info.param.name); });

struct BatchCase {
    const char* name;
    Text text;
    Text left;
    Text right;
    std::vector<Text> expected;
};

void PrintTo(const BatchCase& c, std::ostream* out) {
    *out << c.name;
}

class BatchFormTest : public ::testing::TestWithParam<BatchCase> {};

TEST_P(BatchFormTest, GivesOnePiecePerLeftMarker) {
    const BatchCase& c = GetParam();
    EXPECT_EQ(TextBetween(c.text, c.left, c.right, all), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, BatchFormTest,
    ::testing::Values(
        BatchCase{"program_markers",
                  "<a href=\"/s?wd=one\">one</a></th><th><a href=\"/s?wd=two\">two</a>",
                  "\">",
                  "</a>",
                  {"one", "two"}},
        BatchCase{"right_marker_folds", "\">x</A>", "\">", "</a>", {"x"}},
        BatchCase{"left_marker_folds", "<b>x</B><B>y</b>", "<b>", "</b>", {"x", "y"}},
        BatchCase{"last_left_without_right", "\">a</a>\">b", "\">", "</a>", {"a", ""}},
        BatchCase{"left_inside_piece", "\">a\">b</a>", "\">", "</a>", {"a\">b", "b"}},
        BatchCase{"right_searched_from_left_start", "abxb", "ab", "b", {""}},
        BatchCase{"empty_piece_kept", "\"></a>", "\">", "</a>", {""}},
        BatchCase{"duplicates_kept", "\">k</a>\">k</a>", "\">", "</a>", {"k", "k"}},
        BatchCase{"no_left_marker", "one</a>", "\">", "</a>", {}},
        BatchCase{"empty_left", "\">a</a>", "", "</a>", {}},
        BatchCase{"empty_right", "\">a</a>", "\">", "", {}},
        BatchCase{"left_in_double_byte_character", "\xD6\">x</a>", "\">", "</a>", {}},
        BatchCase{"chinese_pieces",
                  "\">\xD6\xD0\xCE\xC4</a>\">\xD3\xA2</a>",
                  "\">",
                  "</a>",
                  {"\xD6\xD0\xCE\xC4", "\xD3\xA2"}},
        BatchCase{"stops_at_zero_byte", Bytes("\">a</a>\0\">b</a>", 15), "\">", "</a>", {"a"}}),
    [](const auto& info) { return std::string(info.param.name); });

// Many left markers and no right marker after them: every right-marker search runs to
// the end of the text, which must not cost a pass over the text per marker.
TEST(BatchFormScaleTest, ManyLeftMarkersWithoutRightMarker) {
    Text text;
    for (int i = 0; i < 500000; ++i)
        text += "\">";
    const std::vector<Text> pieces = TextBetween(text, "\">", "</a>", all);
    ASSERT_EQ(pieces.size(), 500000u);
    EXPECT_TRUE(pieces.front().empty());
    EXPECT_TRUE(pieces.back().empty());
}

// Every start inside one long run of double-byte characters sees the other alignment
// from its neighbour, so nothing learnt from one search carries over to the next.
TEST(BatchFormScaleTest, MarkersInsideLongDoubleByteRun) {
    const Text text(1000001, '\xB0');
    const std::vector<Text> pieces = TextBetween(text, "\xB0", "zz", all);
    // The last byte is a lead byte before the end, where no search may match.
    EXPECT_EQ(pieces.size(), 1000000u);
}

// Random texts over a small alphabet rich in markers, lead bytes and letters of both
// cases, so that matches overlap, straddle characters and fall on either alignment.
class RandomTexts {
public:
    explicit RandomTexts(unsigned seed) : m_random(seed) {}

    Text Make(size_t maxLength) {
        static const char kAlphabet[] = {'a', 'A', 'b',    '"',    '>',    '<',
                                         '/', 'x', '\xB0', '\xD6', '\x81', '\xA1'};
        std::uniform_int_distribution<size_t> length(0, maxLength);
        std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 1);
        std::uniform_int_distribution<int> percent(0, 99);
        Text text(length(m_random), 'a');
        for (char& byte : text)
            byte = percent(m_random) == 0 ? '\0' : kAlphabet[pick(m_random)];
        return text;
    }

    // Half of the markers are cut from the text itself, so that they do occur.
    Text Marker(const Text& text) {
        std::uniform_int_distribution<int> coin(0, 1);
        if (text.empty() || coin(m_random) == 0)
            return Make(3);
        std::uniform_int_distribution<size_t> at(0, text.size() - 1);
        std::uniform_int_distribution<size_t> length(1, 3);
        return text.substr(at(m_random), length(m_random));
    }

    int Between(int low, int high) {
        return std::uniform_int_distribution<int>(low, high)(m_random);
    }

private:
    std::mt19937 m_random;
};

TEST(ReferenceEqualityTest, FindAgreesForEveryStart) {
    RandomTexts random(20261211);
    for (int round = 0; round < 4000; ++round) {
        const Text text = random.Make(40);
        const Text needle = random.Marker(text);
        for (int start = -1; start <= static_cast<int>(text.size()) + 1; ++start) {
            for (const bool ignoreCase : {false, true}) {
                ASSERT_EQ(Find(text, needle, start, ignoreCase),
                          reference::Find(text, needle, start, ignoreCase))
                    << ::testing::PrintToString(text) << " " << ::testing::PrintToString(needle)
                    << " start " << start << " ignoreCase " << ignoreCase;
            }
        }
    }
}

TEST(ReferenceEqualityTest, SubstringsAgree) {
    RandomTexts random(7);
    for (int round = 0; round < 2000; ++round) {
        const Text text = random.Make(12);
        const int start = random.Between(-2, 15);
        const int length = random.Between(-2, 15);
        ASSERT_EQ(Mid(text, start, length), reference::Mid(text, start, length));
        ASSERT_EQ(Left(text, length), reference::Left(text, length));
    }
}

TEST(ReferenceEqualityTest, BothFormsAgree) {
    RandomTexts random(42);
    for (int round = 0; round < 20000; ++round) {
        const Text text = random.Make(round % 10 == 0 ? 2000 : 60);
        const Text left = random.Marker(text);
        const Text right = random.Marker(text);
        ASSERT_EQ(TextBetween(text, left, right), reference::Between(text, left, right))
            << ::testing::PrintToString(text) << " " << ::testing::PrintToString(left) << " "
            << ::testing::PrintToString(right);
        ASSERT_EQ(TextBetween(text, left, right, all), reference::BetweenAll(text, left, right))
            << ::testing::PrintToString(text) << " " << ::testing::PrintToString(left) << " "
            << ::testing::PrintToString(right);
    }
}

} // namespace
