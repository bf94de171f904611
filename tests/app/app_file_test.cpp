#include "app/app_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>

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

TEST(AppFileWrite, RefusesToReplaceWhatIsNotARegularFile) {
    temp_folder dir;
    const std::string fifo = dir.path + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    errno = 0;
    EXPECT_FALSE(write_text(fifo, "data"));
    EXPECT_EQ(errno, EEXIST);
    EXPECT_FALSE(app_file_copy(fifo.c_str(), fifo.c_str()));
    EXPECT_TRUE(fs::is_fifo(fifo)) << "still a FIFO";
    EXPECT_EQ(dir.entries(), std::vector<std::string>{"fifo"});
}

TEST(AppFileCheckOutput, SaysWhyAPathCannotTakeTheOutput) {
    temp_folder dir;
    ASSERT_TRUE(write_text(dir.path + "/old.png", "x"));
    ASSERT_EQ(mkfifo((dir.path + "/fifo").c_str(), 0600), 0);
    const struct {
        std::string path;
        std::string why; // empty: accepted
    } cases[] = {
        {dir.path + "/new.png", ""},
        {dir.path + "/old.png", ""},
        {"", "no file name given"},
        {dir.path, "it is a folder"},
        {dir.path + "/fifo", "not a regular file"},
        {"/dev/null", "not a regular file"},
        {dir.path + "/none/new.png", "folder '" + dir.path + "/none' does not exist"},
        {dir.path + "/old.png/new.png", "does not exist"},
    };
    for (const auto& c : cases) {
        char why[256] = "";
        EXPECT_EQ(app_file_check_output(c.path.c_str(), why, sizeof why), c.why.empty()) << c.path;
        EXPECT_NE(std::string(why).find(c.why), std::string::npos) << c.path << ": " << why;
    }
}

TEST(AppFileSame, ComparesFilesNotSpellings) {
    temp_folder dir;
    ASSERT_TRUE(write_text(dir.path + "/a.png", "x"));
    ASSERT_TRUE(write_text(dir.path + "/b.png", "x"));
    fs::create_hard_link(dir.path + "/a.png", dir.path + "/link.png");
    fs::create_directory(dir.path + "/o");
    const std::string d = dir.path;
    const struct {
        std::string a, b;
        bool same;
    } cases[] = {
        {d + "/a.png", d + "/./a.png", true},
        {d + "/a.png", d + "/o/../a.png", true},
        {d + "/a.png", d + "/link.png", true},
        {d + "/a.png", d + "/b.png", false},
        {d + "/o/./out.png", d + "/o/out.png", true}, // neither exists yet
        {d + "/o/out.png", d + "/out.png", false},
        {d + "/a.png", d + "/o/a.png", false}, // only one exists
    };
    for (const auto& c : cases)
        EXPECT_EQ(app_file_same(c.a.c_str(), c.b.c_str()), c.same) << c.a << " vs " << c.b;
}

TEST(AppFileCopy, CopiesBytesOverTheTargetAndFailuresLeaveItAlone) {
    temp_folder dir;
    const std::string from = dir.path + "/a.png", to = dir.path + "/b.png";
    const std::string bytes = pattern(200000, 31);
    ASSERT_TRUE(write_text(from, bytes));
    ASSERT_TRUE(write_text(to, "keep"));
    EXPECT_FALSE(app_file_copy((dir.path + "/nope").c_str(), to.c_str()));
    EXPECT_FALSE(app_file_copy(dir.path.c_str(), to.c_str())); // a folder
    EXPECT_FALSE(app_file_copy(from.c_str(), (dir.path + "/no/b").c_str()));
    EXPECT_EQ(contents(to), "keep");
    ASSERT_TRUE(write_text(to, std::string(300000, 'x')));
    ASSERT_TRUE(app_file_copy(from.c_str(), to.c_str()));
    EXPECT_EQ(contents(to), bytes);
    EXPECT_EQ(contents(from), bytes);
    EXPECT_EQ(dir.entries().size(), 2u);
}
