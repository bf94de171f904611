#include "app/app_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include "app_test_util.h"

using namespace app_test;

namespace {

bool write_text(const std::string& path, const std::string& text) {
    return app_file_write(path.c_str(), unsigned(text.size()), text.data());
}

std::string pattern(size_t size, int step) {
    std::string bytes(size, '\0');
    for (size_t i = 0; i < size; i++)
        bytes[i] = char(i * step + i / 256);
    return bytes;
}

} // namespace

TEST(AppFileWrite, CreatesOrReplacesTheFileWithExactContent) {
    temp_folder dir;
    const std::string path = dir.path + "/out.bin", bytes = pattern(300000, 7);
    ASSERT_TRUE(write_text(path, bytes));
    EXPECT_EQ(contents(path), bytes);
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(write_text(path, "short"));
    EXPECT_EQ(contents(path), "short");
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u) << "keeps the permissions of the file it replaces";
    ASSERT_TRUE(app_file_write(path.c_str(), 0, nullptr));
    EXPECT_EQ(fs::file_size(path), 0u);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
}

TEST(AppFileWrite, FailuresLeaveNoFileBehind) {
    temp_folder dir;
    EXPECT_FALSE(write_text(dir.path + "/missing/out.bin", "data"));
    EXPECT_FALSE(app_file_write(nullptr, 0, nullptr));
    EXPECT_FALSE(app_file_write("", 0, nullptr));
    EXPECT_FALSE(app_file_write((dir.path + "/x").c_str(), 4, nullptr));
    EXPECT_TRUE(dir.entries().empty());
    // A folder in the way makes the final rename fail after the data is written.
    fs::create_directories(dir.path + "/taken/child");
    EXPECT_FALSE(write_text(dir.path + "/taken", "data"));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"taken"});
    EXPECT_TRUE(fs::is_directory(dir.path + "/taken/child"));
}

TEST(AppFileCopy, CopiesBytesReplacingTheTarget) {
    temp_folder dir;
    const std::string from = dir.path + "/a.png", to = dir.path + "/b.png";
    const std::string bytes = pattern(200000, 31);
    ASSERT_TRUE(write_text(from, bytes));
    ASSERT_TRUE(write_text(to, std::string(300000, 'x')));
    ASSERT_TRUE(app_file_copy(from.c_str(), to.c_str()));
    EXPECT_EQ(contents(to), bytes);
    EXPECT_EQ(contents(from), bytes);
    EXPECT_EQ(dir.entries().size(), 2u);
}

TEST(AppFileCopy, FailuresLeaveTheTargetAlone) {
    temp_folder dir;
    const std::string from = dir.path + "/a", to = dir.path + "/b";
    ASSERT_TRUE(write_text(from, "x"));
    ASSERT_TRUE(write_text(to, "keep"));
    EXPECT_FALSE(app_file_copy((dir.path + "/nope").c_str(), to.c_str()));
    EXPECT_FALSE(app_file_copy(dir.path.c_str(), to.c_str())); // a folder
    EXPECT_FALSE(app_file_copy(from.c_str(), (dir.path + "/no/b").c_str()));
    EXPECT_EQ(contents(to), "keep");
    EXPECT_EQ(dir.entries().size(), 2u);
}
