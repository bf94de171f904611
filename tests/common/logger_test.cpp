#include "common/logger.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <ctime>
#include <mutex>

#include "app/app_test_util.h"

using namespace app_test;

namespace {

// A fresh desktop folder, and the current folder restored, for each test.
class LoggerTest : public testing::Test {
protected:
    void TearDown() override { fs::current_path(cwd); }
    std::string log() const { return contents(desktop.path + "/Spotweave.log"); }

    temp_folder desktop;
    scoped_env env{"XDG_DESKTOP_DIR", desktop.path.c_str()};
    fs::path cwd = fs::current_path();
};

} // namespace

TEST_F(LoggerTest, PathIsDesktopNameDotLogCutAt254Bytes) {
    // 241 bytes of folder leave room for "Spotweave.lo"; from 255 the current folder is used.
    const std::string e240 = "/" + std::string(240, 'e'), e239 = "/" + std::string(239, 'e');
    const struct {
        std::string folder, want;
    } cases[] = {
        {desktop.path, desktop.path + "/Spotweave.log"},
        {e240, e240 + "/Spotweave.lo"},
        {e239, e239 + "/Spotweave.log"},
        {"/" + std::string(254, 'd'), "Spotweave.log"},
        {"/" + std::string(255, 'd'), "Spotweave.log"},
        {"/" + std::string(399, 'd'), "Spotweave.log"},
    };
    for (const auto& c : cases) {
        scoped_env folder("XDG_DESKTOP_DIR", c.folder.c_str());
        EXPECT_EQ(Logger("Spotweave").GetPath(), c.want) << c.folder.size() << " bytes";
    }
    fs::current_path(desktop.path);
    scoped_env none("XDG_DESKTOP_DIR", ("/" + std::string(255, 'd')).c_str());
    Logger("Spotweave").Write("here", true);
    EXPECT_EQ(log(), "here\n");
}

TEST_F(LoggerTest, WritesTextNumbersAndListsOneCallAtATime) {
    {
        Logger logger("Spotweave");
        logger.Write("Selector: ", false);
        logger.Write(3, false);
        logger.Write(std::string(" "), false);
        logger.Write(0.000125, true);
        logger.Write(std::vector<std::string>(), true);
    }
    EXPECT_EQ(log(), "Selector: 3 0.000125\n") << "an empty list writes nothing";
    Logger logger("Spotweave");
    logger.Write(0.1, true);
    logger.Write(-7, false);
    logger.Write(1234567.0, false);
    const std::vector<std::string> lines = {"a", "bc", ""};
    logger.Write(lines, true);
    logger.Write(lines, false);
    EXPECT_EQ(log(), "Selector: 3 0.000125\n0.1\n-71.23457e+06a\nbc\n\nabc");
}

TEST_F(LoggerTest, HoldsNoFileOpenAndLosesOnlyWritesThatCannotOpenIt) {
    Logger logger("Spotweave");
    logger.Write("first", true);
    // Removing the file between writes starts a fresh one: nothing was held open.
    fs::remove(desktop.path + "/Spotweave.log");
    logger.Write("second", true);
    EXPECT_EQ(log(), "second\n");
    logger.Open(); // explicit open and close are harmless
    logger.Write("x", false);
    logger.Close();
    logger.Close();
    logger.Write("y", true);
    EXPECT_EQ(log(), "second\nxy\n");

    const std::string missing = desktop.path + "/not-yet";
    scoped_env later_env("XDG_DESKTOP_DIR", missing.c_str());
    Logger later("Spotweave");
    later.Write("lost", true);
    later.Write(1, true);
    fs::create_directory(missing);
    later.Write("kept", true);
    EXPECT_EQ(contents(missing + "/Spotweave.log"), "kept\n");
}

TEST(Timer, MeasuresProcessorTimeNotWallTime) {
    Timer timer;
    EXPECT_EQ(timer.GetTime(), 0.0);
    // Busy: about 50 ms of processor time (bounded by a wall-clock deadline).
    const std::clock_t c0 = std::clock();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (std::clock() - c0 < CLOCKS_PER_SEC / 20 && std::chrono::steady_clock::now() < deadline) {
    }
    const double busy = timer.GetElapsed();
    EXPECT_GE(busy, 0.045);
    EXPECT_LT(busy, 2.0);
    EXPECT_EQ(timer.GetTime(), busy) << "reading does not move stop";

    // Idle after a restart: 100 ms of waiting on a condition nobody signals.
    timer.Start();
    std::mutex m;
    std::condition_variable cv;
    const auto wall0 = std::chrono::steady_clock::now();
    {
        std::unique_lock<std::mutex> lock(m);
        cv.wait_for(lock, std::chrono::milliseconds(100), [] { return false; });
    }
    EXPECT_GE(std::chrono::steady_clock::now() - wall0, std::chrono::milliseconds(99));
    const double idle = timer.GetElapsed();
    EXPECT_GE(idle, 0.0);
    EXPECT_LT(idle, 0.03);
}
