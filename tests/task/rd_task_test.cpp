#include "task/rd_task.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <barrier>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <thread>
#include <utility>
#include <vector>

#include "task/rd_dispatch.h"
#include "task/task_internal.h"

namespace {

// One task of a 3 x 2 x 2 launch: hits; task index/count, thread index/count, counts, on a worker.
struct Cell {
    std::atomic<int> hits{0};
    std::array<int, 8> seen{};
};

void recordTask(void* data, int threadIndex, int threadCount, int taskIndex, int taskCount, int x,
                int y, int z, int cx, int cy, int cz) {
    Cell& cell = ((Cell*)data)[(z * 2 + y) * 3 + x];
    cell.hits.fetch_add(1);
    cell.seen = {taskIndex, taskCount, threadIndex, threadCount,
                 cx,        cy,        cz,          rd_dispatch_is_worker()};
}

void countTask(void* data, int, int, int, int, int, int, int, int, int, int) {
    ((std::atomic<int>*)data)->fetch_add(1);
}

void nothingTask(void*, int, int, int, int, int, int, int, int, int, int) {}

void* fn(rd_task_fn f) {
    return (void*)f;
}

// Returns the handle of an empty launch (a group taken or made).
void* emptyGroup() {
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(nothingTask), nullptr, 0, 0, 0);
    return handle;
}

// A group that never allocated a record chunk or buffer (parked groups keep both).
void* freshHandle() {
    std::vector<void*> held;
    void* fresh = nullptr;
    while (!fresh) {
        void* handle = emptyGroup();
        if (rd__task_group_chunks(handle) == 0 && rd__task_group_buffers(handle) == 1)
            fresh = handle;
        else
            held.push_back(handle);
        EXPECT_LE(held.size(), 64u);
    }
    for (void* handle : held)
        ISPCSync(handle);
    return fresh;
}

// Takes a group out of a full free list so the next sync parks; returns it to sync later.
void* makeRoom() {
    return rd__task_parked_groups() == 64 ? emptyGroup() : nullptr;
}

const int FIELD_W = 203, FIELD_H = 141;

float cellValue(int x, int y) {
    float v = 0.0f;
    for (int i = 1; i <= 20; i++)
        v += (float)((x * 31 + y * 17 + i) % 97) / (float)i;
    return v;
}

void tileTask(void* data, int, int, int, int, int tx, int ty, int, int, int, int) {
    for (int y = ty * 16; y < ty * 16 + 16 && y < FIELD_H; y++)
        for (int x = tx * 16; x < tx * 16 + 16 && x < FIELD_W; x++)
            ((float*)data)[y * FIELD_W + x] = cellValue(x, y);
}

struct Nested {
    std::atomic<int> inner{0}, outerDone{0};
};

// Launches and syncs a 4 x 4 group of its own.
void outerTask(void* data, int, int, int, int, int, int, int, int, int, int) {
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(countTask), &((Nested*)data)->inner, 4, 4, 1);
    ISPCSync(handle);
    ((Nested*)data)->outerDone.fetch_add(1);
}

} // namespace

// ---- Launch ----------------------------------------------------------------

TEST(RdTask, DecomposesIndicesOfA3x2x2LaunchOnWorkersAndRestartsThemPerLaunch) {
    std::vector<Cell> first(12), second(12);
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(recordTask), first.data(), 3, 2, 2);
    void* group = handle;
    ISPCLaunch(&handle, fn(recordTask), second.data(), 3, 2, 2);
    EXPECT_EQ(handle, group);
    EXPECT_EQ(rd__task_group_records(handle), 24);
    ISPCSync(handle);
    // Cell i is (x, y, z) with x fastest, so its task index is i.
    for (int i = 0; i < 12; i++)
        for (const Cell& cell : {std::cref(first[i]), std::cref(second[i])}) {
            EXPECT_EQ(cell.hits.load(), 1) << "cell " << i;
            EXPECT_EQ(cell.seen, (std::array<int, 8>{i, 12, 0, 1, 3, 2, 2, 1})) << "cell " << i;
        }
}

TEST(RdTask, EmptyLaunchRunsNothingButLeavesAGroup) {
    std::atomic<int> count{0};
    const int shapes[][3] = {{0, 5, 5},   {5, 0, 5},  {5, 5, 0},  {-1, 1, 1},
                             {-2, -3, 1}, {5, -2, 3}, {5, 5, -1}, {-1, -1, -1}};
    for (const auto& shape : shapes) {
        void* handle = nullptr;
        ISPCLaunch(&handle, fn(countTask), &count, shape[0], shape[1], shape[2]);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(rd__task_group_records(handle), 0);
        ISPCSync(handle);
    }
    EXPECT_EQ(count.load(), 0);
    // Nor does it disturb a later launch into the same group.
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(countTask), &count, -1, 1, 1);
    ISPCLaunch(&handle, fn(countTask), &count, 3, 2, 2);
    EXPECT_EQ(rd__task_group_records(handle), 12);
    ISPCSync(handle);
    EXPECT_EQ(count.load(), 12);
}

// ---- Record chunks and the limit -------------------------------------------

TEST(RdTask, The16385thRecordOpensTheSecondChunkAndEightChunksHold131072) {
    std::atomic<int> count{0};
    void* handle = freshHandle();
    void* group = handle;
    const struct {
        int launch, records, chunks;
    } steps[] = {{16384, 16384, 1}, {1, 16385, 2}, {131072 - 16385, 131072, 8}};
    for (const auto& s : steps) {
        ISPCLaunch(&handle, fn(countTask), &count, s.launch, 1, 1);
        EXPECT_EQ(std::pair(rd__task_group_records(handle), rd__task_group_chunks(handle)),
                  std::pair(s.records, s.chunks));
    }
    void* held = makeRoom();
    ISPCSync(handle);
    EXPECT_EQ(count.load(), 131072);
    EXPECT_EQ(rd__task_group_chunks(group), 8); // parked, still allocated
    ISPCSync(held);
}

TEST(RdTaskDeathTest, ExitsPast131072RecordsAndOnOneOversizedLaunch) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            void* handle = nullptr;
            ISPCLaunch(&handle, fn(nothingTask), nullptr, 16384, 8, 1);
            ISPCLaunch(&handle, fn(nothingTask), nullptr, 1, 1, 1);
        },
        testing::ExitedWithCode(1),
        "A total of 131072 tasks have been launched from the current function--the simple "
        "built-in task system can handle no more. You can increase the values of "
        "TASK_QUEUE_CHUNK_SIZE and LOG_TASK_QUEUE_CHUNK_SIZE to work around this limitation.  "
        "Sorry!  Exiting.");
    // 65536 * 65536 * 2 overflows a 32-bit count.
    EXPECT_EXIT(
        {
            void* handle = nullptr;
            ISPCLaunch(&handle, fn(nothingTask), nullptr, 65536, 65536, 2);
        },
        testing::ExitedWithCode(1), "A total of 131072 tasks have been launched");
}

// ---- Memory ----------------------------------------------------------------

TEST(RdTaskAlloc, Aligns64AndNoBlockOverlapsAnother) {
    void* handle = nullptr;
    std::vector<uint8_t*> blocks;
    for (int i = 0; i < 200; i++) {
        const int64_t size = 1 + (i * 37) % 300;
        uint8_t* p = (uint8_t*)ISPCAlloc(&handle, size, 64);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ((uintptr_t)p % 64, 0u) << i;
        std::memset(p, i & 255, (size_t)size);
        blocks.push_back(p);
    }
    for (int i = 0; i < 200; i++)
        EXPECT_EQ(blocks[i][0], i & 255);
    ISPCSync(handle);
}

TEST(RdTaskAlloc, UsesTheInlineBufferOnlyWhileARequestLeavesBytesOver) {
    void* handle = freshHandle();
    uint8_t* a = (uint8_t*)ISPCAlloc(&handle, 192, 64);
    ASSERT_EQ((uintptr_t)a % 64, 0u);
    EXPECT_EQ(rd__task_group_buffer(handle), 0);
    EXPECT_EQ((uint8_t*)ISPCAlloc(&handle, 63, 1), a + 192);
    EXPECT_EQ(rd__task_group_buffer(handle), 0); // one byte left
    EXPECT_NE((uint8_t*)ISPCAlloc(&handle, 1, 1), a + 255);
    EXPECT_EQ(rd__task_group_buffer(handle), 1); // would have left none
    ISPCSync(handle);
    handle = freshHandle();
    a = (uint8_t*)ISPCAlloc(&handle, 192, 64);
    uint8_t* b = (uint8_t*)ISPCAlloc(&handle, 64, 64); // would fill it exactly
    EXPECT_EQ(rd__task_group_buffer(handle), 1);
    EXPECT_NE(b, a + 192);
    EXPECT_EQ((uintptr_t)b % 64, 0u);
    ISPCSync(handle);
    handle = nullptr;
    ISPCAlloc(&handle, 256, 1);
    EXPECT_EQ(rd__task_group_buffer(handle), 1);
    ISPCSync(handle);
}

TEST(RdTaskAlloc, GrowsIntoLargerBuffersAndReusesThemAfterSync) {
    void* handle = freshHandle();
    void* group = handle;
    uint8_t* big = (uint8_t*)ISPCAlloc(&handle, 100000, 64);
    ASSERT_NE(big, nullptr);
    EXPECT_EQ((uintptr_t)big % 64, 0u);
    std::memset(big, 1, 100000);
    EXPECT_EQ(rd__task_group_buffer(handle), 1);
    for (int i = 0; i < 10; i++) {
        uint8_t* more = (uint8_t*)ISPCAlloc(&handle, 10000, 16);
        ASSERT_NE(more, nullptr);
        std::memset(more, 2, 10000);
    }
    EXPECT_GT(rd__task_group_buffer(handle), 1);
    const int buffers = rd__task_group_buffers(handle);
    void* held = makeRoom();
    ISPCSync(handle);
    // Parked: back on the inline buffer, the others kept.
    EXPECT_EQ(std::pair(rd__task_group_buffer(group), rd__task_group_buffers(group)),
              std::pair(0, buffers));
    ISPCSync(held);
}

TEST(RdTaskAlloc, RefusesNegativeAndOversizedRequestsAndSharesTheGroupWithLaunches) {
    std::atomic<int> count{0};
    void* handle = nullptr;
    EXPECT_EQ(ISPCAlloc(&handle, -1, 16), nullptr);
    ASSERT_NE(handle, nullptr);
    void* group = handle;
    EXPECT_EQ(ISPCAlloc(&handle, (int64_t)1 << 40, 16), nullptr);
    int* slot = (int*)ISPCAlloc(&handle, sizeof(int), 4);
    ASSERT_NE(slot, nullptr);
    ISPCLaunch(&handle, fn(countTask), &count, 10, 1, 1);
    EXPECT_EQ(handle, group);
    *slot = 5;
    ISPCSync(handle);
    EXPECT_EQ(count.load(), 10);
}

// ---- Free-group list -------------------------------------------------------

TEST(RdTaskGroups, EmptyGroupsParkUntilThe65thIsDestroyed) {
    std::vector<void*> handles(65);
    for (void*& handle : handles)
        handle = emptyGroup();
    EXPECT_EQ(rd__task_parked_groups(), 0);
    const int live = rd__task_live_groups();
    ISPCSync(nullptr); // does nothing
    for (int i = 0; i < 64; i++) {
        ISPCSync(handles[i]);
        EXPECT_EQ(rd__task_parked_groups(), i + 1);
    }
    EXPECT_EQ(rd__task_live_groups(), live);
    ISPCSync(handles[64]);
    EXPECT_EQ(std::pair(rd__task_parked_groups(), rd__task_live_groups()), std::pair(64, live - 1));
}

TEST(RdTaskGroups, The65thOfConcurrentSyncsIsDestroyed) {
    const int threads = 65;
    std::barrier<> acquired(threads);
    std::atomic<int> count{0}, liveAfterAcquire{0};
    std::vector<std::thread> launchers;
    for (int t = 0; t < threads; t++) {
        launchers.emplace_back([&] {
            void* handle = nullptr;
            ISPCLaunch(&handle, fn(countTask), &count, 7, 3, 1);
            acquired.arrive_and_wait();
            // Every launcher holds its group now: none is parked.
            liveAfterAcquire.store(rd__task_live_groups());
            acquired.arrive_and_wait();
            ISPCSync(handle);
        });
    }
    for (std::thread& launcher : launchers)
        launcher.join();
    EXPECT_EQ(count.load(), threads * 21);
    EXPECT_EQ(rd__task_parked_groups(), 64);
    EXPECT_EQ(rd__task_live_groups(), liveAfterAcquire.load() - 1);
}

TEST(RdTaskGroups, ReusesParkedGroupsWithoutGrowing) {
    std::atomic<int> count{0};
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(countTask), &count, 64, 64, 1);
    ISPCSync(handle);
    const int live = rd__task_live_groups();
    for (int i = 0; i < 200; i++) {
        handle = nullptr;
        ISPCLaunch(&handle, fn(countTask), &count, 64, 64, 1);
        ISPCSync(handle);
    }
    EXPECT_EQ(rd__task_live_groups(), live);
    EXPECT_EQ(count.load(), 201 * 4096);
}

// ---- Concurrency -----------------------------------------------------------

TEST(RdTaskThreads, TiledLaunchMatchesASingleThreadRun) {
    std::vector<float> serial(FIELD_W * FIELD_H);
    for (int i = 0; i < FIELD_W * FIELD_H; i++)
        serial[i] = cellValue(i % FIELD_W, i / FIELD_W);
    for (int round = 0; round < 5; round++) {
        std::vector<float> threaded(FIELD_W * FIELD_H, -1.0f);
        void* handle = nullptr;
        ISPCLaunch(&handle, fn(tileTask), threaded.data(), (FIELD_W + 15) / 16, (FIELD_H + 15) / 16,
                   1);
        ISPCSync(handle);
        ASSERT_EQ(std::memcmp(threaded.data(), serial.data(), serial.size() * sizeof(float)), 0);
    }
}

TEST(RdTaskThreads, ManyLaunchersAtOnce) {
    const int launcherCount = 8, rounds = 40;
    std::vector<std::atomic<int>> counts(launcherCount);
    std::vector<std::thread> launchers;
    for (int t = 0; t < launcherCount; t++) {
        launchers.emplace_back([&counts, t] {
            for (int r = 1; r <= rounds; r++) {
                void* handle = nullptr;
                ISPCLaunch(&handle, fn(countTask), &counts[t], 5 + t, 3, 2);
                int* scratch = (int*)ISPCAlloc(&handle, 64 * sizeof(int), 64);
                for (int i = 0; i < 64; i++)
                    scratch[i] = t;
                ISPCLaunch(&handle, fn(countTask), &counts[t], 1, 1, 1);
                ISPCSync(handle);
                ASSERT_EQ(counts[t].load(), r * ((5 + t) * 6 + 1));
            }
        });
    }
    for (std::thread& launcher : launchers)
        launcher.join();
}

TEST(RdTaskThreads, TasksMayLaunchAndSyncTheirOwnGroups) {
    Nested nested;
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(outerTask), &nested, 8, 4, 1);
    ISPCSync(handle);
    EXPECT_EQ(std::pair(nested.outerDone.load(), nested.inner.load()), std::pair(32, 32 * 16));
}

TEST(RdTaskDeathTest, NestedLaunchesFinishOnASingleWorker) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            if (!rd_dispatch_set_threads(1))
                std::exit(2);
            Nested nested;
            void* handle = nullptr;
            ISPCLaunch(&handle, fn(outerTask), &nested, 16, 1, 1);
            ISPCSync(handle);
            std::exit(nested.outerDone.load() == 16 && nested.inner.load() == 16 * 16 &&
                              rd_dispatch_thread_count() == 1
                          ? 0
                          : 3);
        },
        testing::ExitedWithCode(0), "");
}
