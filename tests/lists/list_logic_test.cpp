#include "lists/list_logic.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace fs = std::filesystem;

namespace {

using Texts = std::vector<Text>;

struct ImportCase {
    const char* name;
    Text content;
    Texts pieces; // SplitImportLines
    Texts kept;   // KeptImportLines
};

// Test names show the case name, not the bytes of the case.
void PrintTo(const ImportCase& c, std::ostream* os) {
    *os << c.name;
}

class ImportTest : public ::testing::TestWithParam<ImportCase> {};

TEST_P(ImportTest, SplitsAtCharacterCrLf) {
    EXPECT_EQ(SplitImportLines(GetParam().content), GetParam().pieces);
}

TEST_P(ImportTest, KeepsLinesWithContent) {
    EXPECT_EQ(KeptImportLines(GetParam().content), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ImportTest,
    ::testing::Values(
        ImportCase{"blank_lines_dropped", "a\r\n\r\n  \r\nb\r\n", {"a", "", "  ", "b"}, {"a", "b"}},
        ImportCase{"empty_content", "", {}, {}}, ImportCase{"only_separator", "\r\n", {""}, {}},
        ImportCase{"no_final_separator", "a\r\nb", {"a", "b"}, {"a", "b"}},
        ImportCase{"leading_spaces_kept", "  x\r\n", {"  x"}, {"  x"}},
        ImportCase{"tab_is_not_a_space", "\t\r\n", {"\t"}, {"\t"}},
        ImportCase{
            "full_width_space_only", "\xA1\xA1 \xA1\xA1\r\nx", {"\xA1\xA1 \xA1\xA1", "x"}, {"x"}},
        ImportCase{"full_width_space_then_text", "\xA1\xA1y", {"\xA1\xA1y"}, {"\xA1\xA1y"}},
        ImportCase{"lf_only", "a\nb\nc\n", {"a\nb\nc\n"}, {"a\nb\nc\n"}},
        ImportCase{"lone_cr", "a\rb", {"a\rb"}, {"a\rb"}},
        ImportCase{"cr_cr_lf", "a\r\r\nb", {"a\r", "b"}, {"a\r", "b"}},
        // 0xB0 is a lead byte, so 0x0D is its trail byte and the LF is a plain character.
        ImportCase{
            "crlf_inside_double_byte", "\xB0\r\nx\r\ny", {"\xB0\r\nx", "y"}, {"\xB0\r\nx", "y"}},
        ImportCase{"crlf_after_double_byte", "\xB0\xA1\r\nx", {"\xB0\xA1", "x"}, {"\xB0\xA1", "x"}},
        ImportCase{"lone_lead_byte_at_end", "a\r\n\xB0", {"a", "\xB0"}, {"a", "\xB0"}},
        ImportCase{"zero_byte_ends_content", Text("a\r\nb\0c\r\nd", 9), {"a", "b"}, {"a", "b"}},
        ImportCase{"zero_byte_first", Text("\0a\r\n", 4), {}, {}}),
    [](const auto& info) { return std::string(info.param.name); });

struct KeptCase {
    const char* name;
    Text piece;
    bool kept;
};

void PrintTo(const KeptCase& c, std::ostream* os) {
    *os << c.name;
}

class KeptLineTest : public ::testing::TestWithParam<KeptCase> {};

TEST_P(KeptLineTest, DecidesOnLeadingSpaces) {
    EXPECT_EQ(IsKeptImportLine(GetParam().piece), GetParam().kept);
}

INSTANTIATE_TEST_SUITE_P(Cases, KeptLineTest,
                         ::testing::Values(KeptCase{"empty", "", false},
                                           KeptCase{"spaces", "   ", false},
                                           KeptCase{"full_width_spaces", "\xA1\xA1\xA1\xA1", false},
                                           KeptCase{"mixed_spaces", " \xA1\xA1 ", false},
                                           KeptCase{"trailing_text", "  x", true},
                                           KeptCase{"tab", "\t", true},
                                           KeptCase{"other_full_width", "\xA1\xA2", true},
                                           KeptCase{"lone_a1", " \xA1", true},
                                           KeptCase{"spaces_then_cjk", " \xD6\xD0", true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The one-pass form must agree with splitting and filtering, also on odd byte mixes.
TEST(ImportOnePassTest, AgreesWithSplitAndFilter) {
    std::mt19937 rng(7);
    const char alphabet[] = {'a', ' ', '\r', '\n', '\0', '\t', '\xA1', '\xB0', '\xFE'};
    for (int round = 0; round < 2000; ++round) {
        Text content;
        const int length = static_cast<int>(rng() % 24);
        for (int i = 0; i < length; ++i)
            content += alphabet[rng() % sizeof alphabet];
        Texts expected;
        for (const Text& piece : SplitImportLines(content))
            if (IsKeptImportLine(piece))
                expected.push_back(piece);
        ASSERT_EQ(KeptImportLines(content), expected) << testing::PrintToString(content);
    }
}

class WholeFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "list_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_path = (m_dir / "words.txt").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }
    Text Get() const {
        std::ifstream in(m_path, std::ios::binary);
        return Text(std::istreambuf_iterator<char>(in), {});
    }

    fs::path m_dir;
    std::string m_path;
};

TEST_F(WholeFileTest, WriteThenReadGivesSameBytes) {
    const Text bytes("x\r\n\0\xD6\xD0\r\n", 7);
    ASSERT_TRUE(WriteWholeFile(m_path, bytes));
    bool ok = false;
    EXPECT_EQ(ReadWholeFile(m_path, ok), bytes);
    EXPECT_TRUE(ok);
}

TEST_F(WholeFileTest, WriteReplacesWholeContent) {
    ASSERT_TRUE(WriteWholeFile(m_path, Text(100000, 'a')));
    ASSERT_TRUE(WriteWholeFile(m_path, "b"));
    EXPECT_EQ(Get(), "b");
    ASSERT_TRUE(WriteWholeFile(m_path, ""));
    EXPECT_TRUE(fs::exists(m_path));
    EXPECT_EQ(fs::file_size(m_path), 0u);
}

TEST_F(WholeFileTest, EmptyFileReadsAsEmpty) {
    ASSERT_TRUE(WriteWholeFile(m_path, ""));
    bool ok = false;
    EXPECT_EQ(ReadWholeFile(m_path, ok), "");
    EXPECT_TRUE(ok);
}

class UnusablePathTest : public WholeFileTest, public ::testing::WithParamInterface<const char*> {
protected:
    // "dir": a directory; "missing": nothing there; "under_file": parent is a regular file.
    std::string PathFor(const std::string& kind) {
        if (kind == "dir") {
            fs::create_directory(m_path);
            return m_path;
        }
        if (kind == "under_file") {
            std::ofstream(m_path) << "keep";
            return m_path + "/inner.txt";
        }
        return (m_dir / "missing" / "words.txt").string();
    }
};

TEST_P(UnusablePathTest, ReadAndWriteFail) {
    const std::string path = PathFor(GetParam());
    bool ok = true;
    EXPECT_EQ(ReadWholeFile(path, ok), "");
    EXPECT_FALSE(ok);
    EXPECT_FALSE(WriteWholeFile(path, "x"));
    if (std::string(GetParam()) == "under_file") {
        EXPECT_EQ(Get(), "keep");
    }
}

INSTANTIATE_TEST_SUITE_P(Kinds, UnusablePathTest,
                         ::testing::Values("dir", "missing", "under_file"));

TEST(ExportTest, EveryItemEndsInCrLf) {
    EXPECT_EQ(ExportBytes({"x", "y"}), "x\r\ny\r\n");
    EXPECT_EQ(ExportBytes({}), "");
    EXPECT_EQ(ExportBytes({"", "\xD6\xD0"}), "\r\n\xD6\xD0\r\n");
}

struct DedupeCase {
    const char* name;
    Texts items;
    Texts unique;
};

void PrintTo(const DedupeCase& c, std::ostream* os) {
    *os << c.name;
}

class DedupeTest : public ::testing::TestWithParam<DedupeCase> {};

TEST_P(DedupeTest, KeepsFirstOccurrences) {
    EXPECT_EQ(DedupeKeepFirst(GetParam().items), GetParam().unique);
}

TEST_P(DedupeTest, MovingFormAgrees) {
    Texts items = GetParam().items;
    EXPECT_EQ(DedupeKeepFirst(std::move(items)), GetParam().unique);
}

TEST_P(DedupeTest, IncrementalPassAgrees) {
    const Texts& items = GetParam().items;
    DedupePass pass(items.size());
    Texts unique;
    for (const Text& item : items)
        if (pass.FirstTime(item))
            unique.push_back(item);
    EXPECT_EQ(unique, GetParam().unique);
}

const Text kLong1(40, 'q'); // beyond the short-string buffer: moves keep its storage
const Text kLong2 = kLong1 + "r";

INSTANTIATE_TEST_SUITE_P(
    Cases, DedupeTest,
    ::testing::Values(DedupeCase{"case_sensitive", {"b", "a", "b", "A", "a"}, {"b", "a", "A"}},
                      DedupeCase{"two_empty_items", {"", ""}, {""}},
                      DedupeCase{"empty_list", {}, {}},
                      DedupeCase{"no_duplicates", {"x", "y"}, {"x", "y"}},
                      DedupeCase{"double_byte_exact",
                                 {"\x81\x41", "\x81\x61", "\x81\x41"},
                                 {"\x81\x41", "\x81\x61"}},
                      DedupeCase{"prefixes_differ", {"ab", "a", "ab", "abc"}, {"ab", "a", "abc"}},
                      DedupeCase{"short_and_long_mixed",
                                 {"s", kLong1, "s", kLong2, "t", kLong1, "s", kLong2, "u"},
                                 {"s", kLong1, kLong2, "t", "u"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DedupeLargeTest, KeepsOrderOfFirstAppearance) {
    Texts items;
    for (int i = 0; i < 200000; ++i)
        items.push_back("k" + std::to_string((i * 7919) % 100000));
    const Texts unique = DedupeKeepFirst(items);
    ASSERT_EQ(unique.size(), 100000u);
    for (int i = 0; i < 100000; ++i)
        ASSERT_EQ(unique[i], items[i]);
}

// A pass told to expect nothing must still grow and keep every text it has seen.
TEST(DedupeLargeTest, PassGrowsBeyondExpected) {
    Texts items;
    for (int i = 0; i < 50000; ++i)
        items.push_back(std::to_string(i % 20000));
    DedupePass pass(0);
    size_t firsts = 0;
    for (size_t i = 0; i < items.size(); ++i) {
        const bool first = pass.FirstTime(items[i]);
        ASSERT_EQ(first, i < 20000) << i;
        firsts += first;
    }
    EXPECT_EQ(firsts, 20000u);
}

} // namespace
