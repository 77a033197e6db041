#include "settings/ini_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sys/stat.h>

namespace fs = std::filesystem;

namespace {

const Text kSection = kConfigSection;
const Text kThreads = kKeyWorkerThreads;
const Text kLevel = kKeyCollectLevel;

class IniFileTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "ini_test_XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        m_dir = pattern;
        m_path = (m_dir / "config.ini").string();
    }
    void TearDown() override { fs::remove_all(m_dir); }

    void Put(const Text& bytes) { Put(m_path, bytes); }
    static void Put(const std::string& path, const Text& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    Text Get() const { return Get(m_path); }
    static Text Get(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return Text(std::istreambuf_iterator<char>(in), {});
    }
    // Names of everything in the test directory: a stray temporary file shows up here.
    std::vector<std::string> Entries() const {
        std::vector<std::string> names;
        for (const auto& entry : fs::directory_iterator(m_dir))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    fs::path m_dir;
    std::string m_path;
};

struct ReadCase {
    const char* name;
    Text content;
    Text section;
    Text key;
    Text expected; // with default "DEF"
};

void PrintTo(const ReadCase& c, std::ostream* os) {
    *os << c.name;
}

class IniReadTest : public IniFileTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(IniReadTest, ReadsValue) {
    Put(GetParam().content);
    EXPECT_EQ(ReadIniValue(m_path, GetParam().section, GetParam().key, "DEF"), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, IniReadTest,
    ::testing::Values(
        ReadCase{"value", "[\xC5\xE4\xD6\xC3]\r\n\xB9\xA4\xD7\xF7\xCF\xDF\xB3\xCC=35\r\n", kSection,
                 kThreads, "35"},
        ReadCase{"empty_file", "", "s", "k", "DEF"},
        ReadCase{"missing_key", "[s]\r\nother=1\r\n", "s", "k", "DEF"},
        ReadCase{"missing_section", "[t]\r\nk=1\r\n", "s", "k", "DEF"},
        ReadCase{"present_empty", "[s]\r\nk=\r\n", "s", "k", ""},
        ReadCase{"present_blank", "[s]\r\nk= \t \r\n", "s", "k", ""},
        ReadCase{"ascii_case_folds", "[Config]\r\nThreads=5\r\n", "CONFIG", "threads", "5"},
        // 0x81 0x41 and 0x81 0x61 are two different characters whose trail bytes are 'A'/'a'.
        ReadCase{"trail_byte_not_folded_in_section", "[\x81\x41]\r\nk=1\r\n", "\x81\x61", "k",
                 "DEF"},
        ReadCase{"trail_byte_not_folded_in_key", "[s]\r\n\x81\x41=1\r\n", "s", "\x81\x61", "DEF"},
        ReadCase{"high_bytes_match_exactly", "[s]\r\n\x81\x41=1\r\n", "s", "\x81\x41", "1"},
        ReadCase{"blanks_trimmed", " \t[ \t s \t] \t\r\n \t k \t= \t a b \t\r\n", "s", "k", "a b"},
        ReadCase{"caller_names_trimmed", "[s]\r\nk=1\r\n", " s\t", "\tk ", "1"},
        ReadCase{"lf_only", "[a]\nk=1\n[s]\nk=2\n", "s", "k", "2"},
        ReadCase{"no_final_line_end", "[s]\r\nk=7", "s", "k", "7"},
        ReadCase{"value_keeps_equals", "[s]\r\nk=a=b\r\n", "s", "k", "a=b"},
        ReadCase{"value_keeps_quotes", "[s]\r\nk=\"5\"\r\n", "s", "k", "\"5\""},
        ReadCase{"comment_ignored", "[s]\r\n;k=1\r\n  ;k=2\r\nk=3\r\n", "s", "k", "3"},
        ReadCase{"garbage_ignored", "[s]\r\nnonsense\r\nk=4\r\n", "s", "k", "4"},
        ReadCase{"key_before_any_section_ignored", "k=1\r\n[s]\r\nk=2\r\n", "s", "k", "2"},
        ReadCase{"key_of_next_section_not_taken", "[s]\r\n[t]\r\nk=1\r\n", "s", "k", "DEF"},
        ReadCase{"duplicate_key_first_wins", "[s]\r\nk=1\r\nK=2\r\n", "s", "k", "1"},
        ReadCase{"duplicate_section_first_wins", "[s]\r\nk=1\r\n[S]\r\nk=2\r\n", "s", "k", "1"},
        ReadCase{"key_in_later_duplicate_section", "[s]\r\na=1\r\n[t]\r\nk=0\r\n[s]\r\nk=2\r\n",
                 "s", "k", "2"},
        // ']' is 0x5D, also a trail byte: the name runs to the ']' that begins a character.
        ReadCase{"bracket_trail_byte_in_section", "[\x81]x]\r\nk=9\r\n", "\x81]x", "k", "9"},
        ReadCase{"unclosed_section_ignored", "[s]\r\n[t\r\nk=1\r\n", "s", "k", "1"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, MissingFileGivesDefault) {
    EXPECT_EQ(ReadIniValue(m_path, kSection, kThreads, "20"), "20");
    EXPECT_FALSE(fs::exists(m_path));
}

TEST_F(IniFileTest, DirectoryGivesDefaultAndIsNotWritten) {
    fs::create_directory(m_path);
    EXPECT_EQ(ReadIniValue(m_path, kSection, kThreads, "20"), "20");
    EXPECT_FALSE(WriteIniValue(m_path, kSection, kThreads, "5"));
    EXPECT_TRUE(fs::is_directory(m_path));
    EXPECT_EQ(Entries(), std::vector<std::string>{"config.ini"});
}

TEST_F(IniFileTest, ParentThatIsAFileFailsWithoutHarm) {
    Put("keep");
    const std::string inside = m_path + "/config.ini";
    EXPECT_EQ(ReadIniValue(inside, kSection, kThreads, "20"), "20");
    EXPECT_FALSE(WriteIniValue(inside, kSection, kThreads, "5"));
    EXPECT_EQ(Get(), "keep");
    EXPECT_EQ(Entries(), std::vector<std::string>{"config.ini"});
}

class IniCapTest : public IniFileTest, public ::testing::WithParamInterface<size_t> {};

TEST_P(IniCapTest, ValueIsWrittenWholeAndReadUpToCap) {
    const Text value(GetParam(), 'v');
    ASSERT_TRUE(WriteIniValue(m_path, "s", "k", value));
    EXPECT_EQ(Get(), "[s]\r\nk=" + value + "\r\n");
    EXPECT_EQ(ReadIniValue(m_path, "s", "k", ""), value.substr(0, kMaxIniValueBytes));
}

INSTANTIATE_TEST_SUITE_P(Sizes, IniCapTest,
                         ::testing::Values(kMaxIniValueBytes - 1, kMaxIniValueBytes,
                                           kMaxIniValueBytes + 1, 50000));

TEST_F(IniFileTest, LongDefaultIsCappedToo) {
    EXPECT_EQ(ReadIniValue(m_path, "s", "k", Text(20000, 'd')).size(), kMaxIniValueBytes);
}

TEST_F(IniFileTest, FirstWritesBuildTheProgramsFile) {
    ASSERT_TRUE(WriteIniValue(m_path, kSection, kThreads, "20"));
    EXPECT_EQ(Get(), "[\xC5\xE4\xD6\xC3]\r\n\xB9\xA4\xD7\xF7\xCF\xDF\xB3\xCC=20\r\n");
    ASSERT_TRUE(WriteIniValue(m_path, kSection, kLevel, "1"));
    EXPECT_EQ(Get(), "[\xC5\xE4\xD6\xC3]\r\n"
                     "\xB9\xA4\xD7\xF7\xCF\xDF\xB3\xCC=20\r\n"
                     "\xB2\xC9\xBC\xAF\xBC\xB6\xB1\xF0=1\r\n");
    EXPECT_EQ(ReadIniValue(m_path, kSection, kThreads, "x"), "20");
    EXPECT_EQ(ReadIniValue(m_path, kSection, kLevel, "x"), "1");
    EXPECT_EQ(Entries(), std::vector<std::string>{"config.ini"});
}

TEST_F(IniFileTest, TypingWritesEveryStepAndEmptyStaysEmpty) {
    for (const Text value : {"3", "35", "3", ""})
        ASSERT_TRUE(WriteIniValue(m_path, kSection, kThreads, value));
    EXPECT_EQ(Get(), "[\xC5\xE4\xD6\xC3]\r\n\xB9\xA4\xD7\xF7\xCF\xDF\xB3\xCC=\r\n");
    EXPECT_EQ(ReadIniValue(m_path, kSection, kThreads, "20"), "");
}

struct WriteCase {
    const char* name;
    Text before;
    Text section;
    Text key;
    Text value;
    Text after;
};

void PrintTo(const WriteCase& c, std::ostream* os) {
    *os << c.name;
}

class IniWriteTest : public IniFileTest, public ::testing::WithParamInterface<WriteCase> {};

TEST_P(IniWriteTest, ChangesOnlyTheWrittenLine) {
    Put(GetParam().before);
    ASSERT_TRUE(WriteIniValue(m_path, GetParam().section, GetParam().key, GetParam().value));
    EXPECT_EQ(Get(), GetParam().after);
    EXPECT_EQ(ReadIniValue(m_path, GetParam().section, GetParam().key, "DEF"), GetParam().value);
    EXPECT_EQ(Entries(), std::vector<std::string>{"config.ini"});
}

const Text kMixedFile = "; settings of the tool\r\n"
                        "\r\n"
                        "[other]\n"
                        "k = keep \t\n"
                        "garbage line\r\n"
                        "[s]\r\n"
                        "  ; note\r\n"
                        "a=1\r\n"
                        "K \t= old\n"
                        "z=\r\n"
                        "\r\n"
                        "[third]\r\n"
                        "k=3";

INSTANTIATE_TEST_SUITE_P(
    Cases, IniWriteTest,
    ::testing::Values(
        WriteCase{"update_keeps_every_other_byte", kMixedFile, "S", "k", "new",
                  "; settings of the tool\r\n\r\n[other]\nk = keep \t\ngarbage line\r\n[s]\r\n"
                  "  ; note\r\na=1\r\nK=new\r\nz=\r\n\r\n[third]\r\nk=3"},
        WriteCase{"new_key_after_last_non_blank_line", kMixedFile, "s", "b", "2",
                  "; settings of the tool\r\n\r\n[other]\nk = keep \t\ngarbage line\r\n[s]\r\n"
                  "  ; note\r\na=1\r\nK \t= old\nz=\r\nb=2\r\n\r\n[third]\r\nk=3"},
        WriteCase{"new_key_in_unterminated_last_section", kMixedFile, "third", "b", "2",
                  kMixedFile + "\r\nb=2\r\n"},
        WriteCase{"update_unterminated_last_line", kMixedFile, "third", "k", "4",
                  kMixedFile.substr(0, kMixedFile.size() - 3) + "k=4\r\n"},
        WriteCase{"new_section_after_missing_line_end", kMixedFile, "new", "k", "v",
                  kMixedFile + "\r\n[new]\r\nk=v\r\n"},
        WriteCase{"new_section_at_end", "[a]\r\nx=1\r\n\r\n", "b", "k", "v",
                  "[a]\r\nx=1\r\n\r\n[b]\r\nk=v\r\n"},
        WriteCase{"new_key_in_empty_section", "[s]\r\n\r\n[t]\r\n", "s", "k", "v",
                  "[s]\r\nk=v\r\n\r\n[t]\r\n"},
        WriteCase{"empty_file", "", "s", "k", "v", "[s]\r\nk=v\r\n"},
        WriteCase{"key_before_any_section_untouched", "k=0\r\n", "s", "k", "v",
                  "k=0\r\n[s]\r\nk=v\r\n"},
        WriteCase{"duplicate_key_first_changed", "[s]\r\nk=1\r\nk=2\r\n", "s", "k", "9",
                  "[s]\r\nk=9\r\nk=2\r\n"},
        WriteCase{"key_in_later_duplicate_section_changed", "[s]\r\na=1\r\n[s]\r\nk=2\r\n", "s",
                  "k", "9", "[s]\r\na=1\r\n[s]\r\nk=9\r\n"},
        WriteCase{"new_key_goes_to_first_duplicate_section", "[s]\r\na=1\r\n[s]\r\nb=2\r\n", "s",
                  "k", "9", "[s]\r\na=1\r\nk=9\r\n[s]\r\nb=2\r\n"},
        WriteCase{"comment_lookalike_not_updated", "[s]\r\n;k=1\r\n", "s", "k", "2",
                  "[s]\r\n;k=1\r\nk=2\r\n"},
        WriteCase{"value_with_specials", "", "s", "k", "a=[b];c]", "[s]\r\nk=a=[b];c]\r\n"},
        WriteCase{"same_value_gets_crlf", "[s]\nk = 1\n[t]\n", "s", "k", "1", "[s]\nk=1\r\n[t]\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct RefusedCase {
    const char* name;
    Text section;
    Text key;
    Text value;
};

void PrintTo(const RefusedCase& c, std::ostream* os) {
    *os << c.name;
}

class IniRefusedTest : public IniFileTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(IniRefusedTest, LeavesFileUntouched) {
    const Text before = "[s]\r\nk=1\r\n";
    Put(before);
    EXPECT_FALSE(WriteIniValue(m_path, GetParam().section, GetParam().key, GetParam().value));
    EXPECT_EQ(Get(), before);
    EXPECT_EQ(Entries(), std::vector<std::string>{"config.ini"});
}

INSTANTIATE_TEST_SUITE_P(Cases, IniRefusedTest,
                         ::testing::Values(RefusedCase{"value_with_crlf", "s", "k", "1\r\nx=2"},
                                           RefusedCase{"value_with_lf", "s", "k", "1\n[t]"},
                                           RefusedCase{"value_with_cr", "s", "k", "1\r2"},
                                           RefusedCase{"value_with_zero", "s", "k",
                                                       Text("1\0"
                                                            "2",
                                                            3)},
                                           RefusedCase{"empty_key", "s", "", "1"},
                                           RefusedCase{"blank_key", "s", " \t", "1"},
                                           RefusedCase{"key_with_equals", "s", "a=b", "1"},
                                           RefusedCase{"key_like_section", "s", "[t]", "1"},
                                           RefusedCase{"key_like_comment", "s", ";k", "1"},
                                           RefusedCase{"key_with_lf", "s", "k\nx", "1"},
                                           RefusedCase{"section_with_bracket", "s]x", "k", "1"},
                                           RefusedCase{"section_with_lf", "s\n", "k", "1"}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(IniFileTest, ReplacementKeepsPermissions) {
    Put("[s]\r\nk=1\r\n");
    fs::permissions(m_path, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
    ASSERT_TRUE(WriteIniValue(m_path, "s", "k", "2"));
    EXPECT_EQ(fs::status(m_path).permissions() & fs::perms::all,
              fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
}

TEST_F(IniFileTest, WritesThroughSymbolicLink) {
    const std::string real = (m_dir / "real.ini").string();
    Put(real, "[s]\r\nk=1\r\n");
    fs::create_symlink(real, m_path);
    ASSERT_TRUE(WriteIniValue(m_path, "s", "k", "2"));
    EXPECT_TRUE(fs::is_symlink(m_path));
    EXPECT_EQ(Get(real), "[s]\r\nk=2\r\n");
}

// A character-aware model of the file: names fold ASCII letters that begin a character.
Text FoldedName(const Text& name) {
    Text folded = name;
    for (size_t i = 0; i < folded.size(); ++i) {
        if (IsLeadByte(static_cast<unsigned char>(folded[i])))
            ++i;
        else if (folded[i] >= 'A' && folded[i] <= 'Z')
            folded[i] = static_cast<char>(folded[i] - 'A' + 'a');
    }
    return folded;
}

class RandomIniText {
public:
    explicit RandomIniText(unsigned seed) : m_rng(seed) {}

    // A name or value: printable ASCII and double-byte characters (trail bytes include
    // letters, '[' ']' and so on), nothing that a line cannot hold, no blanks at the edges.
    Text Make(size_t maxChars, bool isName) {
        Text text;
        const size_t chars = 1 + m_rng() % maxChars;
        while (text.size() < chars) {
            if (m_rng() % 3 == 0) {
                text += static_cast<char>(0x81 + m_rng() % 0x7E);
                char trail = static_cast<char>(0x40 + m_rng() % 0xBF);
                text += trail == 0x7F ? 'A' : trail;
            } else {
                char c = static_cast<char>(0x21 + m_rng() % 0x5E);
                if (isName && (c == '=' || c == ']' || c == '[' || c == ';'))
                    c = 'a' + m_rng() % 3;
                text += c;
                if (m_rng() % 4 == 0 && text.size() + 1 < chars)
                    text += ' ';
            }
        }
        return text;
    }
    size_t Pick(size_t n) { return m_rng() % n; }

private:
    std::mt19937 m_rng;
};

TEST_F(IniFileTest, RandomWritesReadBackAsLastWritten) {
    RandomIniText random(12345);
    std::vector<Text> sections, keys;
    for (int i = 0; i < 4; ++i)
        sections.push_back(random.Make(6, true));
    for (int i = 0; i < 12; ++i)
        keys.push_back(random.Make(6, true));
    sections.push_back("Sec");
    sections.push_back("sEC");
    keys.push_back("Key");
    keys.push_back("kEY");

    std::map<std::pair<Text, Text>, Text> model;
    for (int round = 0; round < 300; ++round) {
        const Text& section = sections[random.Pick(sections.size())];
        const Text& key = keys[random.Pick(keys.size())];
        const Text value = random.Make(20, false);
        ASSERT_TRUE(WriteIniValue(m_path, section, key, value));
        model[{FoldedName(section), FoldedName(key)}] = value;
    }
    for (const Text& section : sections)
        for (const Text& key : keys) {
            const auto it = model.find({FoldedName(section), FoldedName(key)});
            EXPECT_EQ(ReadIniValue(m_path, section, key, "\x01"),
                      it == model.end() ? Text("\x01") : it->second)
                << section << " / " << key;
        }

    const Text content = Get();
    for (size_t lf = content.find('\n'); lf != Text::npos; lf = content.find('\n', lf + 1))
        ASSERT_TRUE(lf > 0 && content[lf - 1] == '\r') << "line end at " << lf;
    EXPECT_EQ(Entries(), std::vector<std::string>{"config.ini"});
}

} // namespace
