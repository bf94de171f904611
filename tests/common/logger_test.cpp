#include "common/logger.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Points XDG_DESKTOP_DIR at a fresh folder for the duration of a test.
class LoggerTest : public testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "sw_log_XXXXXX").string();
        desktop = mkdtemp(pattern.data());
        if (const char* old = std::getenv("XDG_DESKTOP_DIR"))
            old_value = old;
        desktop_dir(desktop);
        cwd = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(cwd);
        if (old_value)
            setenv("XDG_DESKTOP_DIR", old_value->c_str(), 1);
        else
            unsetenv("XDG_DESKTOP_DIR");
        fs::remove_all(desktop);
    }
    static void desktop_dir(const std::string& path) { setenv("XDG_DESKTOP_DIR", path.c_str(), 1); }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string log() const { return contents(desktop + "/Spotweave.log"); }

    std::string desktop;
    std::optional<std::string> old_value;
    fs::path cwd;
};

} // namespace

TEST_F(LoggerTest, PathIsDesktopNameDotLogCutAt254Bytes) {
    // 241 bytes of folder + "/" leave room for "Spotweave.lo" only; one byte
    // less and the whole name fits. A desktop path of 255 bytes or more cannot
    // hold a name at all: the log goes to the current folder.
    const std::string e240 = "/" + std::string(240, 'e'), e239 = "/" + std::string(239, 'e');
    const struct {
        std::string folder, want;
    } cases[] = {
        {desktop, desktop + "/Spotweave.log"},
        {e240, e240 + "/Spotweave.lo"},
        {e239, e239 + "/Spotweave.log"},
        {"/" + std::string(254, 'd'), "Spotweave.log"},
        {"/" + std::string(255, 'd'), "Spotweave.log"},
        {"/" + std::string(399, 'd'), "Spotweave.log"},
    };
    for (const auto& c : cases) {
        desktop_dir(c.folder);
        EXPECT_EQ(Logger("Spotweave").GetPath(), c.want) << c.folder.size() << " bytes";
    }
    fs::current_path(desktop);
    Logger("Spotweave").Write("here", true);
    EXPECT_EQ(log(), "here\n");
}

TEST_F(LoggerTest, WritesTextNumbersAndListsOneCallAtATime) {
    {
        Logger logger("Spotweave");
        logger.Write("Selector: ", false);
        logger.Write(3, false);
        logger.Write(" ", false);
        logger.Write(2.5, true);
    }
    {
        Logger logger("Spotweave");
        logger.Write(std::string("Selector: "), false);
        logger.Write(4, false);
        logger.Write(" ", false);
        logger.Write(0.000125, true);
    }
    EXPECT_EQ(log(), "Selector: 3 2.5\nSelector: 4 0.000125\n");
    fs::remove(desktop + "/Spotweave.log");

    Logger logger("Spotweave");
    logger.Write(std::vector<std::string>(), true);
    EXPECT_FALSE(fs::exists(desktop + "/Spotweave.log")) << "an empty list writes nothing";
    logger.Write(0.1, true);
    logger.Write(-7, false);
    logger.Write(1234567.0, false);
    EXPECT_EQ(log(), "0.1\n-71.23457e+06");
    const std::vector<std::string> lines = {"a", "bc", ""};
    logger.Write(lines, true);
    logger.Write(lines, false);
    EXPECT_EQ(log(), "0.1\n-71.23457e+06a\nbc\n\nabc");
}

TEST_F(LoggerTest, HoldsNoFileOpenAndLosesOnlyWritesThatCannotOpenIt) {
    Logger logger("Spotweave");
    logger.Write("first", true);
    // Removing the file between writes starts a fresh one: nothing was held open.
    fs::remove(desktop + "/Spotweave.log");
    logger.Write("second", true);
    EXPECT_EQ(log(), "second\n");
    logger.Open(); // explicit open and close are harmless
    logger.Write("x", false);
    logger.Close();
    logger.Close();
    logger.Write("y", true);
    EXPECT_EQ(log(), "second\nxy\n");

    const std::string missing = desktop + "/not-yet";
    desktop_dir(missing);
    Logger later("Spotweave");
    later.Write("lost", true);
    later.Write(1, true);
    fs::create_directory(missing);
    later.Write("kept", true);
    EXPECT_EQ(contents(missing + "/Spotweave.log"), "kept\n");
}

TEST(Timer, MeasuresProcessorTimeNotWallTime) {
    // Busy: about 30 ms of processor time (bounded by a wall-clock deadline).
    Timer busy;
    std::clock_t c0 = std::clock();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::clock() - c0 < CLOCKS_PER_SEC * 3 / 100 &&
           std::chrono::steady_clock::now() < deadline) {
    }
    double busy_seconds = busy.GetElapsed();
    EXPECT_GE(busy_seconds, 0.025);
    EXPECT_LT(busy_seconds, 2.0);

    // Idle: 100 ms of waiting on a condition nobody signals.
    Timer idle;
    std::mutex m;
    std::condition_variable cv;
    auto wall0 = std::chrono::steady_clock::now();
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, std::chrono::milliseconds(100), [] { return false; });
    }
    double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - wall0).count();
    double idle_seconds = idle.GetElapsed();
    EXPECT_GE(wall, 0.099);
    EXPECT_LT(idle_seconds, 0.03);
}

TEST(Timer, GetTimeIsStopMinusStart) {
    Timer timer;
    EXPECT_EQ(timer.GetTime(), 0.0);
    timer.Start();
    std::clock_t c0 = std::clock();
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(1);
    while (std::clock() - c0 < CLOCKS_PER_SEC / 100 &&
           std::chrono::steady_clock::now() < deadline) {
    }
    timer.Stop();
    double t = timer.GetTime();
    EXPECT_GT(t, 0.0);
    EXPECT_EQ(timer.GetTime(), t); // reading does not move stop
    EXPECT_GE(timer.GetElapsed(), t);
}
