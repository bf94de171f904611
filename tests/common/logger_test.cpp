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
        const char* old = std::getenv("XDG_DESKTOP_DIR");
        had_old = old != nullptr;
        if (had_old)
            old_value = old;
        setenv("XDG_DESKTOP_DIR", desktop.c_str(), 1);
        cwd = fs::current_path();
    }
    void TearDown() override {
        fs::current_path(cwd);
        if (had_old)
            setenv("XDG_DESKTOP_DIR", old_value.c_str(), 1);
        else
            unsetenv("XDG_DESKTOP_DIR");
        fs::remove_all(desktop);
    }
    static std::string contents(const std::string& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    std::string log() const { return contents(desktop + "/Spotweave.log"); }

    std::string desktop, old_value;
    fs::path cwd;
    bool had_old = false;
};

} // namespace

TEST_F(LoggerTest, PathIsDesktopNameDotLog) {
    Logger logger("Spotweave");
    EXPECT_EQ(std::string(logger.GetPath()), desktop + "/Spotweave.log");
}

TEST_F(LoggerTest, LongDesktopPathLogsIntoCurrentFolder) {
    for (size_t length : {255u, 256u, 400u}) {
        std::string longpath = "/" + std::string(length - 1, 'd');
        setenv("XDG_DESKTOP_DIR", longpath.c_str(), 1);
        Logger logger("Spotweave");
        EXPECT_STREQ(logger.GetPath(), "Spotweave.log") << length;
    }
    fs::current_path(desktop);
    Logger logger("Spotweave");
    logger.Write("here", true);
    EXPECT_EQ(log(), "here\n");
}

TEST_F(LoggerTest, PathIsCutAt254Bytes) {
    // 241 bytes of folder + "/" leave room for "Spotweave.lo" only.
    std::string folder = "/" + std::string(240, 'e');
    setenv("XDG_DESKTOP_DIR", folder.c_str(), 1);
    Logger logger("Spotweave");
    EXPECT_EQ(std::string(logger.GetPath()), folder + "/Spotweave.lo");
    // One byte shorter and the whole name fits.
    folder.pop_back();
    setenv("XDG_DESKTOP_DIR", folder.c_str(), 1);
    Logger shorter("Spotweave");
    EXPECT_EQ(std::string(shorter.GetPath()), folder + "/Spotweave.log");
}

TEST_F(LoggerTest, NumberFormats) {
    Logger logger("Spotweave");
    logger.Write(0.1, true);
    EXPECT_EQ(log(), "0.1\n");
    logger.Write(-7, false);
    EXPECT_EQ(log(), "0.1\n-7");
    logger.Write(1234567.0, false);
    EXPECT_EQ(log(), "0.1\n-71.23457e+06");
}

TEST_F(LoggerTest, OneLinePerSelector) {
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
}

TEST_F(LoggerTest, VectorWritesEachElement) {
    Logger logger("Spotweave");
    std::vector<std::string> lines = {"a", "bc", ""};
    logger.Write(lines, true);
    logger.Write(lines, false);
    EXPECT_EQ(log(), "a\nbc\n\nabc");
}

TEST_F(LoggerTest, EmptyVectorWritesNothing) {
    Logger logger("Spotweave");
    std::vector<std::string> none;
    logger.Write(none, true);
    EXPECT_FALSE(fs::exists(desktop + "/Spotweave.log"));
}

TEST_F(LoggerTest, NoHandleStaysOpenBetweenWrites) {
    Logger logger("Spotweave");
    logger.Write("first", true);
    // Removing the file between writes starts a fresh one: nothing was held open.
    fs::remove(desktop + "/Spotweave.log");
    logger.Write("second", true);
    EXPECT_EQ(log(), "second\n");
}

TEST_F(LoggerTest, UnopenableFileLosesWriteQuietlyThenRecovers) {
    std::string missing = desktop + "/not-yet";
    setenv("XDG_DESKTOP_DIR", missing.c_str(), 1);
    Logger logger("Spotweave");
    logger.Write("lost", true);
    logger.Write(1, true);
    fs::create_directory(missing);
    logger.Write("kept", true);
    EXPECT_EQ(contents(missing + "/Spotweave.log"), "kept\n");
}

TEST_F(LoggerTest, ExplicitOpenAndCloseAreHarmless) {
    Logger logger("Spotweave");
    logger.Open();
    logger.Write("x", false);
    logger.Close();
    logger.Close();
    logger.Write("y", true);
    EXPECT_EQ(log(), "xy\n");
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
