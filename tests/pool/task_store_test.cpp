#include "collect/task_store.h"

#include <json.h>

#include <gtest/gtest.h>

#include <climits>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace {

const Text kKeywordMember = "\xB9\xD8\xBC\xFC\xD7\xD6";       // 关键字
const Text kLevelMember = "\xCF\xD6\xD0\xD0\xBC\xB6\xB1\xF0"; // 现行级别

class TaskStoreTest : public testing::Test {
protected:
    void SetUp() override { ResetTaskStore(); }
    void TearDown() override { ReleaseTaskStore(); }
};

struct RecordCase {
    const char* name;
    Text keyword;
    bool child; // children go in with a double level, seeds with an integer
    int32_t level;
    json_type levelType;
};

void PrintTo(const RecordCase& c, std::ostream* out) {
    *out << c.name;
}

class TaskRecordTest : public TaskStoreTest, public testing::WithParamInterface<RecordCase> {};

TEST_P(TaskRecordTest, RecordHasExactlyKeywordAndLevel) {
    const RecordCase& c = GetParam();
    const int index =
        c.child ? AppendTask(c.keyword, double(c.level)) : AppendTask(c.keyword, c.level);
    ASSERT_EQ(index, 0);

    json_object* record = json_object_array_get_idx(TaskStore, 0);
    ASSERT_TRUE(json_object_is_type(record, json_type_object));
    std::set<Text> names;
    json_object_object_foreach(record, name, value) {
        (void)value;
        names.insert(name);
    }
    EXPECT_EQ(names, (std::set<Text>{kKeywordMember, kLevelMember}));

    json_object* keyword = json_object_object_get(record, kKeywordMember.c_str());
    ASSERT_TRUE(json_object_is_type(keyword, json_type_string));
    EXPECT_EQ(Text(json_object_get_string(keyword), size_t(json_object_get_string_len(keyword))),
              c.keyword);
    EXPECT_EQ(json_object_get_type(json_object_object_get(record, kLevelMember.c_str())),
              c.levelType);

    const TaskRecordValues values = GetTask(index);
    EXPECT_EQ(values.keyword, c.keyword);
    EXPECT_EQ(values.level, c.level);
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, TaskRecordTest,
    testing::Values(RecordCase{"SeedLevelIsInteger", "\xCF\xE0\xB9\xD8", false, 1, json_type_int},
                    RecordCase{"ChildLevelIsDouble", "abc", true, 3, json_type_double},
                    RecordCase{"HighBytesKeptAsIs", "\x80\xFF\xA1\xA1 \x81\x40", true, 2,
                               json_type_double},
                    RecordCase{"EmptyKeyword", "", false, 1, json_type_int},
                    RecordCase{"NegativeSeedLevel", "k", false, -5, json_type_int}),
    [](const testing::TestParamInfo<RecordCase>& info) { return std::string(info.param.name); });

TEST_F(TaskStoreTest, ConcurrentAppendsGetDistinctIndicesThatReadBack) {
    constexpr int kThreads = 8;
    constexpr int kPerThread = 5000;
    struct Appended {
        int index;
        Text keyword;
        int32_t level;
    };
    std::vector<std::vector<Appended>> appended(kThreads);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([t, &mine = appended[t]] {
            for (int i = 0; i < kPerThread; ++i) {
                Text keyword = "\xB4\xCA" + std::to_string(t) + "-" + std::to_string(i);
                const int32_t level = t + 1;
                const int index =
                    i % 2 ? AppendTask(keyword, double(level)) : AppendTask(keyword, level);
                mine.push_back({index, std::move(keyword), level});
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();

    ASSERT_EQ(TaskCount(), kThreads * kPerThread);
    std::vector<bool> seen(kThreads * kPerThread, false);
    for (const std::vector<Appended>& mine : appended) {
        for (const Appended& a : mine) {
            ASSERT_GE(a.index, 0);
            ASSERT_LT(a.index, kThreads * kPerThread);
            EXPECT_FALSE(seen[a.index]) << "index " << a.index << " given twice";
            seen[a.index] = true;
            const TaskRecordValues values = GetTask(a.index);
            EXPECT_EQ(values.keyword, a.keyword);
            EXPECT_EQ(values.level, a.level);
        }
    }
}

TEST_F(TaskStoreTest, ResetReleasesPreviousRecordsAndRestartsAtZero) {
    AppendTask("a", 1);
    AppendTask("b", 2.0);
    AppendTask("c", 3.0);
    json_object* previous = json_object_get(TaskStore);
    ResetTaskStore();
    EXPECT_EQ(json_object_put(previous), 1) << "the store kept the previous run's records";

    EXPECT_EQ(TaskCount(), 0);
    EXPECT_EQ(GetTask(0).keyword, "");
    EXPECT_EQ(AppendTask("d", 1), 0);
    EXPECT_EQ(GetTask(0).keyword, "d");
}

TEST_F(TaskStoreTest, IndexWithoutRecordGivesEmptyValues) {
    AppendTask("a", 1);
    AppendTask("b", 2.0);
    for (int index : {-1, 2, INT_MAX, INT_MIN}) {
        const TaskRecordValues values = GetTask(index);
        EXPECT_EQ(values.keyword, "") << index;
        EXPECT_EQ(values.level, 0) << index;
    }
}

TEST_F(TaskStoreTest, ReleasedStoreIsSafeAndRestartsOnAppend) {
    ReleaseTaskStore();
    EXPECT_EQ(TaskStore, nullptr);
    EXPECT_EQ(TaskCount(), 0);
    EXPECT_EQ(GetTask(0).keyword, "");
    EXPECT_EQ(GetTask(0).level, 0);
    ReleaseTaskStore();

    EXPECT_EQ(AppendTask("k", 1), 0);
    EXPECT_EQ(GetTask(0).keyword, "k");
    EXPECT_EQ(GetTask(0).level, 1);
}

} // namespace
