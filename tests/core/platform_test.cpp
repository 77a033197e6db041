#include "platform/platform.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <climits>
#include <string>

namespace {

struct DirCase {
    const char* name;
    std::string path;
    char separator;
    std::string dir;
};

class DirectoryOfTest : public ::testing::TestWithParam<DirCase> {};

TEST_P(DirectoryOfTest, EndsInExactlyOneSeparator) {
    EXPECT_EQ(platform::DirectoryOf(GetParam().path, GetParam().separator), GetParam().dir);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DirectoryOfTest,
    ::testing::Values(DirCase{"nested", "/opt/suichuan/suichuan", '/', "/opt/suichuan/"},
                      DirCase{"filesystem_root", "/suichuan", '/', "/"},
                      DirCase{"drive_root", "C:\\suichuan.exe", '\\', "C:\\"},
                      DirCase{"drive_folder", "D:\\tools\\suichuan.exe", '\\', "D:\\tools\\"},
                      DirCase{"no_separator", "suichuan", '/', "/"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(ExecutableDirectoryTest, IsTheFolderOfTheRunningProgram) {
    char self[PATH_MAX + 1] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, PATH_MAX), 0);
    const std::string dir = platform::ExecutableDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_EQ(dir.back(), '/');
    EXPECT_EQ(std::string(self).rfind(dir, 0), 0u);
    EXPECT_EQ(std::string(self).find('/', dir.size()), std::string::npos);
}

} // namespace
