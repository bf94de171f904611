#include "app/app_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

struct temp_folder {
    std::string path;
    temp_folder() {
        std::string pattern = (fs::temp_directory_path() / "sw_file_XXXXXX").string();
        path = mkdtemp(pattern.data());
    }
    ~temp_folder() { fs::remove_all(path); }
    std::vector<std::string> entries() const {
        std::vector<std::string> names;
        for (const auto& e : fs::directory_iterator(path))
            names.push_back(e.path().filename().string());
        return names;
    }
};

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

bool write_text(const std::string& path, const std::string& text) {
    return app_file_write(path.c_str(), unsigned(text.size()), text.data());
}

} // namespace

TEST(AppFileWrite, CreatesFileWithExactContent) {
    temp_folder dir;
    std::string bytes;
    for (int i = 0; i < 300000; i++)
        bytes += char(i * 7 + i / 256);
    std::string path = dir.path + "/out.bin";
    ASSERT_TRUE(write_text(path, bytes));
    EXPECT_EQ(contents(path), bytes);
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"out.bin"});
}

TEST(AppFileWrite, ReplacesExistingFile) {
    temp_folder dir;
    std::string path = dir.path + "/prefs";
    ASSERT_TRUE(write_text(path, "a much longer first version\n"));
    ASSERT_TRUE(write_text(path, "short"));
    EXPECT_EQ(contents(path), "short");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"prefs"});
}

TEST(AppFileWrite, KeepsPermissionsOfExistingFile) {
    temp_folder dir;
    std::string path = dir.path + "/private";
    ASSERT_TRUE(write_text(path, "one"));
    ASSERT_EQ(chmod(path.c_str(), 0600), 0);
    ASSERT_TRUE(write_text(path, "two"));
    struct stat st;
    ASSERT_EQ(stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
}

TEST(AppFileWrite, WritesEmptyFile) {
    temp_folder dir;
    std::string path = dir.path + "/empty";
    ASSERT_TRUE(app_file_write(path.c_str(), 0, nullptr));
    EXPECT_TRUE(fs::exists(path));
    EXPECT_EQ(fs::file_size(path), 0u);
}

TEST(AppFileWrite, FailsWithoutFolderAndLeavesNothing) {
    temp_folder dir;
    std::string path = dir.path + "/missing/out.bin";
    EXPECT_FALSE(write_text(path, "data"));
    EXPECT_FALSE(fs::exists(path));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(AppFileWrite, FailedRenameLeavesNoTemporaryFile) {
    temp_folder dir;
    // A folder in the way makes the final rename fail after the data is written.
    std::string path = dir.path + "/taken";
    fs::create_directory(path);
    fs::create_directory(path + "/child");
    EXPECT_FALSE(write_text(path, "data"));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"taken"});
    EXPECT_TRUE(fs::is_directory(path + "/child"));
}

TEST(AppFileWrite, RejectsBadArguments) {
    EXPECT_FALSE(app_file_write(nullptr, 0, nullptr));
    EXPECT_FALSE(app_file_write("", 0, nullptr));
    temp_folder dir;
    EXPECT_FALSE(app_file_write((dir.path + "/x").c_str(), 4, nullptr));
    EXPECT_TRUE(dir.entries().empty());
}

TEST(AppFileCopy, CopiesBytes) {
    temp_folder dir;
    std::string bytes(200000, '\0');
    for (size_t i = 0; i < bytes.size(); i++)
        bytes[i] = char(i * 31 + 5);
    std::string from = dir.path + "/a.png", to = dir.path + "/b.png";
    ASSERT_TRUE(write_text(from, bytes));
    ASSERT_TRUE(app_file_copy(from.c_str(), to.c_str()));
    EXPECT_EQ(contents(to), bytes);
    EXPECT_EQ(contents(from), bytes);
}

TEST(AppFileCopy, ReplacesExistingTarget) {
    temp_folder dir;
    std::string from = dir.path + "/a", to = dir.path + "/b";
    ASSERT_TRUE(write_text(from, "new"));
    ASSERT_TRUE(write_text(to, "older and longer"));
    ASSERT_TRUE(app_file_copy(from.c_str(), to.c_str()));
    EXPECT_EQ(contents(to), "new");
    EXPECT_EQ(dir.entries().size(), 2u);
}

TEST(AppFileCopy, MissingSourceLeavesTargetAlone) {
    temp_folder dir;
    std::string to = dir.path + "/b";
    ASSERT_TRUE(write_text(to, "keep"));
    EXPECT_FALSE(app_file_copy((dir.path + "/nope").c_str(), to.c_str()));
    EXPECT_FALSE(app_file_copy(dir.path.c_str(), to.c_str())); // a folder
    EXPECT_EQ(contents(to), "keep");
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"b"});
}

TEST(AppFileCopy, MissingTargetFolderFails) {
    temp_folder dir;
    std::string from = dir.path + "/a";
    ASSERT_TRUE(write_text(from, "x"));
    EXPECT_FALSE(app_file_copy(from.c_str(), (dir.path + "/no/b").c_str()));
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"a"});
}
