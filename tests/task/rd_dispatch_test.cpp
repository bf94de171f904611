#include "task/rd_dispatch.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <mutex>
#include <numeric>
#include <set>
#include <thread>
#include <vector>

namespace {

void bump(void* context) {
    ((std::atomic<int>*)context)->fetch_add(1);
}

// The threads that ran a group's items, and how many of them were no worker.
struct Seen {
    std::mutex lock;
    std::set<std::thread::id> threads;
    std::atomic<int> notWorker{0};
};

void noteThread(void* context) {
    Seen* seen = (Seen*)context;
    if (!rd_dispatch_is_worker())
        seen->notWorker.fetch_add(1);
    std::lock_guard<std::mutex> guard(seen->lock);
    seen->threads.insert(std::this_thread::get_id());
}

// Runs count items of fn on one group and waits for them.
void runGroup(void (*fn)(void*), void* context, int count) {
    rd_dispatch_group_s* group = rd_dispatch_group_create();
    for (int i = 0; i < count; i++)
        rd_dispatch_group_async(group, fn, context);
    rd_dispatch_group_wait(group);
    rd_dispatch_group_destroy(group);
}

// Each item waits for ten items of a group of its own.
void fanOut(void* count) {
    runGroup(bump, count, 10);
}

} // namespace

TEST(RdDispatch, RunsEveryItemOnceBeforeTheWaitReturns) {
    std::atomic<int> count{0};
    rd_dispatch_group_s* group = rd_dispatch_group_create();
    rd_dispatch_group_wait(group); // empty: returns at once
    for (int round = 1; round <= 20; round++) {
        for (int i = 0; i < 1000; i++)
            rd_dispatch_group_async(group, bump, &count);
        rd_dispatch_group_wait(group);
        ASSERT_EQ(count.load(), round * 1000);
    }
    rd_dispatch_group_destroy(group);
}

TEST(RdDispatch, RunsItemsOnWorkersAndKeepsItsSizeOnceRunning) {
    Seen seen;
    runGroup(noteThread, &seen, 500);
    EXPECT_EQ(seen.notWorker.load(), 0);
    EXPECT_EQ(seen.threads.count(std::this_thread::get_id()), 0u);
    EXPECT_LE(seen.threads.size(), rd_dispatch_thread_count());
    EXPECT_FALSE(rd_dispatch_is_worker());
    const unsigned size = rd_dispatch_thread_count();
    EXPECT_FALSE(rd_dispatch_set_threads(size + 3));
    EXPECT_EQ(rd_dispatch_thread_count(), size);
}

TEST(RdDispatch, ManyGroupsFromSeveralThreads) {
    const int threadCount = 6, groupsEach = 8, itemsEach = 300;
    std::vector<std::atomic<int>> counts(threadCount * groupsEach);
    std::vector<std::thread> threads;
    for (int t = 0; t < threadCount; t++) {
        threads.emplace_back([&counts, t] {
            for (int round = 1; round <= 5; round++) {
                rd_dispatch_group_s* groups[groupsEach];
                for (int g = 0; g < groupsEach; g++)
                    groups[g] = rd_dispatch_group_create();
                for (int i = 0; i < itemsEach; i++)
                    for (int g = 0; g < groupsEach; g++)
                        rd_dispatch_group_async(groups[g], bump, &counts[t * groupsEach + g]);
                for (int g = 0; g < groupsEach; g++) {
                    rd_dispatch_group_wait(groups[g]);
                    ASSERT_EQ(counts[t * groupsEach + g].load(), round * itemsEach);
                    rd_dispatch_group_destroy(groups[g]);
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
}

TEST(RdDispatch, SeveralThreadsWaitOnOneGroup) {
    std::atomic<int> count{0}, sawAll{0};
    rd_dispatch_group_s* group = rd_dispatch_group_create();
    for (int i = 0; i < 2000; i++)
        rd_dispatch_group_async(group, bump, &count);
    std::vector<std::thread> waiters;
    for (int t = 0; t < 4; t++) {
        waiters.emplace_back([&] {
            rd_dispatch_group_wait(group);
            sawAll.fetch_add(count.load() == 2000);
        });
    }
    for (std::thread& waiter : waiters)
        waiter.join();
    rd_dispatch_group_destroy(group);
    EXPECT_EQ(sawAll.load(), 4);
}

TEST(RdDispatch, ItemsMayWaitForGroupsOfTheirOwn) {
    std::atomic<int> count{0};
    runGroup(fanOut, &count, 50);
    EXPECT_EQ(count.load(), 500);
}

// The pool starts once per process, so each case runs in a child of its own.
TEST(RdDispatchDeathTest, UsesTheThreadCountSetBeforeStart) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!rd_dispatch_set_threads(3))
                std::exit(2);
            Seen seen;
            runGroup(noteThread, &seen, 3000);
            std::exit(rd_dispatch_thread_count() == 3 && seen.threads.size() <= 3 &&
                              seen.notWorker.load() == 0 && !rd_dispatch_set_threads(2)
                          ? 0
                          : 3);
        },
        testing::ExitedWithCode(0), "");
}

TEST(RdDispatchDeathTest, NestedWaitsFinishOnASingleWorker) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            rd_dispatch_set_threads(1);
            std::atomic<int> count{0};
            runGroup(fanOut, &count, 20);
            std::exit(count.load() == 200 ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}

static std::atomic<bool> s_held{false}, s_release{false};
static std::vector<int> s_order; // appended by the one worker only

static void hold(void*) {
    s_held = true;
    while (!s_release)
        std::this_thread::yield();
}

static void note(void* index) {
    s_order.push_back(*(int*)index);
}

// One worker runs the queue in order, also across the ring's growth (1024 slots) while the
// queue's front is not the ring's first slot: the first item holds the worker meanwhile.
TEST(RdDispatchDeathTest, OneWorkerRunsItemsInOrderAcrossTheRingsGrowth) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!rd_dispatch_set_threads(1))
                std::exit(2);
            std::vector<int> ids(1500);
            std::iota(ids.begin(), ids.end(), 0);
            rd_dispatch_group_s* group = rd_dispatch_group_create();
            rd_dispatch_group_async(group, hold, nullptr);
            while (!s_held)
                std::this_thread::yield();
            for (int& id : ids)
                rd_dispatch_group_async(group, note, &id);
            s_release = true;
            rd_dispatch_group_wait(group);
            std::exit(s_order == ids ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}

// Registered before the pool starts, so it runs after the pool's exit handler.
static std::atomic<int> s_exitCount;
static void checkDrained(void) {
    std::_Exit(s_exitCount.load() == 20000 ? 0 : 3);
}

TEST(RdDispatchDeathTest, FinishesQueuedItemsAtExit) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            std::atexit(checkDrained);
            rd_dispatch_group_s* group = rd_dispatch_group_create();
            for (int i = 0; i < 20000; i++)
                rd_dispatch_group_async(group, bump, &s_exitCount);
            std::exit(5); // without waiting
        },
        testing::ExitedWithCode(0), "");
}
