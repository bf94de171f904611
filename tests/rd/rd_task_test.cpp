#include "rd/rd_task.h"

#include <gtest/gtest.h>

#include <atomic>
#include <barrier>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "rd/rd_dispatch.h"
#include "rd/rd_internal.h"

namespace {

// ---- Helpers ---------------------------------------------------------------

struct Cell {
    std::atomic<int> hits{0};
    int taskIndex = -1, taskCount = -1, threadIndex = -1, threadCount = -1;
    int counts[3] = {-1, -1, -1};
};

// Records what each task of a launch saw, in the cell of its (x, y, z).
struct Grid {
    int nx, ny, nz;
    std::vector<Cell> cells;
    Grid(int x, int y, int z) : nx(x), ny(y), nz(z), cells((size_t)x * y * z) {}
};

void recordTask(void* data, int threadIndex, int threadCount, int taskIndex, int taskCount, int x,
                int y, int z, int cx, int cy, int cz) {
    Grid* grid = (Grid*)data;
    Cell& cell = grid->cells[((size_t)z * grid->ny + y) * grid->nx + x];
    cell.hits.fetch_add(1);
    cell.taskIndex = taskIndex;
    cell.taskCount = taskCount;
    cell.threadIndex = threadIndex;
    cell.threadCount = threadCount;
    cell.counts[0] = cx;
    cell.counts[1] = cy;
    cell.counts[2] = cz;
}

void countTask(void* data, int, int, int, int, int, int, int, int, int, int) {
    ((std::atomic<int>*)data)->fetch_add(1);
}

void nothingTask(void*, int, int, int, int, int, int, int, int, int, int) {}

void* fn(rd_task_fn f) {
    return (void*)f;
}

// Holds groups until one that never allocated a record chunk or a memory
// buffer turns up (parked groups keep both), then parks the others again.
void* freshHandle() {
    std::vector<void*> held;
    void* fresh = nullptr;
    while (!fresh) {
        void* handle = nullptr;
        ISPCLaunch(&handle, fn(nothingTask), nullptr, 0, 0, 0);
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

// Takes a group out of a full free list so that the next sync parks its group
// (a group synced into a full list is freed). Returns the handle to sync later.
void* makeRoom() {
    void* held = nullptr;
    if (rd__task_parked_groups() == 64)
        ISPCLaunch(&held, fn(nothingTask), nullptr, 0, 0, 0);
    return held;
}

// The cell function of the comparison run: deterministic, a little work.
float cellValue(int x, int y) {
    float v = 0.0f;
    for (int i = 1; i <= 20; i++)
        v += (float)((x * 31 + y * 17 + i) % 97) / (float)i;
    return v;
}

struct Field {
    int width, height;
    std::vector<float> values;
};

void tileTask(void* data, int, int, int, int, int tx, int ty, int, int, int, int) {
    Field* field = (Field*)data;
    for (int y = ty * 16; y < ty * 16 + 16 && y < field->height; y++) {
        for (int x = tx * 16; x < tx * 16 + 16 && x < field->width; x++)
            field->values[(size_t)y * field->width + x] = cellValue(x, y);
    }
}

struct Nested {
    std::atomic<int> inner{0};
    std::atomic<int> outerDone{0};
};

void innerTask(void* data, int, int, int, int, int, int, int, int, int, int) {
    ((Nested*)data)->inner.fetch_add(1);
}

void outerTask(void* data, int, int, int, int, int, int, int, int, int, int) {
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(innerTask), data, 4, 4, 1);
    ISPCSync(handle);
    ((Nested*)data)->outerDone.fetch_add(1);
}

struct Where {
    std::thread::id launcher;
    std::atomic<int> onLauncher{0};
    std::atomic<int> onWorker{0};
};

void whereTask(void* data, int, int, int, int, int, int, int, int, int, int) {
    Where* where = (Where*)data;
    if (std::this_thread::get_id() == where->launcher)
        where->onLauncher.fetch_add(1);
    if (rd_dispatch_is_worker())
        where->onWorker.fetch_add(1);
}

} // namespace

// ---- Launch ----------------------------------------------------------------

TEST(RdTask, DecomposesIndicesOfA3x2x2Launch) {
    Grid grid(3, 2, 2);
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(recordTask), &grid, 3, 2, 2);
    ASSERT_NE(handle, nullptr);
    ISPCSync(handle);
    for (int z = 0; z < 2; z++) {
        for (int y = 0; y < 2; y++) {
            for (int x = 0; x < 3; x++) {
                const Cell& cell = grid.cells[((size_t)z * 2 + y) * 3 + x];
                EXPECT_EQ(cell.hits.load(), 1) << x << "," << y << "," << z;
                EXPECT_EQ(cell.taskIndex, x + 3 * (y + 2 * z));
                EXPECT_EQ(cell.taskCount, 12);
                EXPECT_EQ(cell.threadIndex, 0);
                EXPECT_EQ(cell.threadCount, 1);
                EXPECT_EQ(cell.counts[0], 3);
                EXPECT_EQ(cell.counts[1], 2);
                EXPECT_EQ(cell.counts[2], 2);
            }
        }
    }
}

TEST(RdTask, RestartsRecordIndicesForEachLaunchIntoOneGroup) {
    Grid first(3, 2, 2), second(3, 2, 2);
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(recordTask), &first, 3, 2, 2);
    void* same = handle;
    ISPCLaunch(&handle, fn(recordTask), &second, 3, 2, 2);
    EXPECT_EQ(handle, same);
    EXPECT_EQ(rd__task_group_records(handle), 24);
    ISPCSync(handle);
    for (size_t i = 0; i < second.cells.size(); i++) {
        EXPECT_EQ(first.cells[i].taskIndex, (int)i);
        EXPECT_EQ(second.cells[i].taskIndex, (int)i);
        EXPECT_EQ(second.cells[i].hits.load(), 1);
    }
}

TEST(RdTask, EmptyLaunchRunsNothingAndLeavesAGroup) {
    std::atomic<int> count{0};
    const int shapes[][3] = {{0, 5, 5},  {5, 0, 5},   {5, 5, 0},
                             {-1, 1, 1}, {-2, -3, 1}, {-1, -1, -1}};
    for (const auto& shape : shapes) {
        void* handle = nullptr;
        ISPCLaunch(&handle, fn(countTask), &count, shape[0], shape[1], shape[2]);
        ASSERT_NE(handle, nullptr);
        EXPECT_EQ(rd__task_group_records(handle), 0);
        ISPCSync(handle);
    }
    EXPECT_EQ(count.load(), 0);
}

TEST(RdTask, EmptyLaunchDoesNotDisturbLaterLaunches) {
    Grid grid(3, 2, 2);
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(recordTask), &grid, -1, 1, 1);
    ISPCLaunch(&handle, fn(recordTask), &grid, 3, 2, 2);
    EXPECT_EQ(rd__task_group_records(handle), 12);
    ISPCSync(handle);
    for (size_t i = 0; i < grid.cells.size(); i++)
        EXPECT_EQ(grid.cells[i].hits.load(), 1);
}

TEST(RdTask, SyncOfEmptyGroupRecyclesIt) {
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(nothingTask), nullptr, 0, 0, 0);
    void* held = makeRoom();
    int parked = rd__task_parked_groups();
    ASSERT_LT(parked, 64);
    ISPCSync(handle);
    EXPECT_EQ(rd__task_parked_groups(), parked + 1);
    ISPCSync(held);
}

TEST(RdTask, SyncOfNullDoesNothing) {
    int parked = rd__task_parked_groups(), live = rd__task_live_groups();
    ISPCSync(nullptr);
    EXPECT_EQ(rd__task_parked_groups(), parked);
    EXPECT_EQ(rd__task_live_groups(), live);
}

TEST(RdTask, RunsTasksOnPoolWorkersNotTheLauncher) {
    Where where;
    where.launcher = std::this_thread::get_id();
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(whereTask), &where, 64, 1, 1);
    ISPCSync(handle);
    EXPECT_EQ(where.onLauncher.load(), 0);
    EXPECT_EQ(where.onWorker.load(), 64);
}

// ---- Record chunks and the limit -------------------------------------------

TEST(RdTask, The16385thRecordOpensTheSecondChunk) {
    std::atomic<int> count{0};
    void* handle = freshHandle();
    ISPCLaunch(&handle, fn(countTask), &count, 128, 128, 1);
    EXPECT_EQ(rd__task_group_records(handle), 16384);
    EXPECT_EQ(rd__task_group_chunks(handle), 1);
    ISPCLaunch(&handle, fn(countTask), &count, 1, 1, 1);
    EXPECT_EQ(rd__task_group_records(handle), 16385);
    EXPECT_EQ(rd__task_group_chunks(handle), 2);
    ISPCSync(handle);
    EXPECT_EQ(count.load(), 16385);
}

TEST(RdTask, KeepsChunksAcrossSyncs) {
    std::atomic<int> count{0};
    void* handle = freshHandle();
    ISPCLaunch(&handle, fn(countTask), &count, 16385, 1, 1);
    void* group = handle;
    void* held = makeRoom();
    ISPCSync(handle);
    EXPECT_EQ(rd__task_group_chunks(group), 2); // parked, still allocated
    EXPECT_EQ(count.load(), 16385);
    ISPCSync(held);
}

TEST(RdTask, Takes131072RecordsInOneGroup) {
    std::atomic<int> count{0};
    void* handle = nullptr;
    for (int i = 0; i < 8; i++)
        ISPCLaunch(&handle, fn(countTask), &count, 16384, 1, 1);
    EXPECT_EQ(rd__task_group_records(handle), 131072);
    EXPECT_EQ(rd__task_group_chunks(handle), 8);
    ISPCSync(handle);
    EXPECT_EQ(count.load(), 131072);
}

TEST(RdTaskDeathTest, ExitsPast131072Records) {
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
}

TEST(RdTaskDeathTest, ExitsOnOneOversizedLaunch) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        {
            void* handle = nullptr;
            ISPCLaunch(&handle, fn(nothingTask), nullptr, 65536, 65536, 2);
        },
        testing::ExitedWithCode(1), "A total of 131072 tasks have been launched");
}

// ---- Memory ----------------------------------------------------------------

TEST(RdTaskAlloc, Aligns64) {
    void* handle = nullptr;
    std::vector<uint8_t*> blocks;
    for (int i = 0; i < 200; i++) {
        int64_t size = 1 + (i * 37) % 300;
        uint8_t* p = (uint8_t*)ISPCAlloc(&handle, size, 64);
        ASSERT_NE(p, nullptr);
        EXPECT_EQ((uintptr_t)p % 64, 0u) << i;
        std::memset(p, i & 255, (size_t)size);
        blocks.push_back(p);
    }
    // No block overlaps the next one written.
    for (int i = 0; i < 200; i++)
        EXPECT_EQ(blocks[i][0], i & 255);
    ISPCSync(handle);
}

TEST(RdTaskAlloc, FillsInlineBufferOnlyWhileBytesRemain) {
    void* handle = freshHandle();
    uint8_t* a = (uint8_t*)ISPCAlloc(&handle, 192, 64);
    EXPECT_EQ(rd__task_group_buffer(handle), 0);
    uint8_t* b = (uint8_t*)ISPCAlloc(&handle, 63, 1);
    EXPECT_EQ(b, a + 192);
    EXPECT_EQ(rd__task_group_buffer(handle), 0); // one byte left
    uint8_t* c = (uint8_t*)ISPCAlloc(&handle, 1, 1);
    EXPECT_EQ(rd__task_group_buffer(handle), 1); // would have left none
    EXPECT_NE(c, a + 255);
    ISPCSync(handle);
}

TEST(RdTaskAlloc, MovesOnWhenARequestWouldFillTheInlineBufferExactly) {
    void* handle = freshHandle();
    uint8_t* a = (uint8_t*)ISPCAlloc(&handle, 192, 64);
    ASSERT_EQ((uintptr_t)a % 64, 0u);
    uint8_t* b = (uint8_t*)ISPCAlloc(&handle, 64, 64);
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
    int buffers = rd__task_group_buffers(handle);
    void* held = makeRoom();
    ISPCSync(handle);
    // Parked: reset to the inline buffer, the others kept for the next user.
    EXPECT_EQ(rd__task_group_buffer(group), 0);
    EXPECT_EQ(rd__task_group_buffers(group), buffers);
    ISPCSync(held);
}

TEST(RdTaskAlloc, RefusesNegativeAndOversizedRequests) {
    void* handle = nullptr;
    EXPECT_EQ(ISPCAlloc(&handle, -1, 16), nullptr);
    EXPECT_NE(handle, nullptr);
    EXPECT_EQ(ISPCAlloc(&handle, (int64_t)1 << 40, 16), nullptr);
    EXPECT_NE(ISPCAlloc(&handle, 16, 16), nullptr);
    ISPCSync(handle);
}

TEST(RdTaskAlloc, SharesTheGroupWithLaunches) {
    std::atomic<int> count{0};
    void* handle = nullptr;
    int* slot = (int*)ISPCAlloc(&handle, sizeof(int), 4);
    void* group = handle;
    ISPCLaunch(&handle, fn(countTask), &count, 10, 1, 1);
    EXPECT_EQ(handle, group);
    *slot = 5;
    ISPCSync(handle);
    EXPECT_EQ(count.load(), 10);
}

// ---- Free-group list -------------------------------------------------------

TEST(RdTaskGroups, The65thParkedGroupIsDestroyed) {
    std::vector<void*> handles(65, nullptr);
    for (void*& handle : handles)
        ISPCLaunch(&handle, fn(nothingTask), nullptr, 0, 0, 0);
    EXPECT_EQ(rd__task_parked_groups(), 0);
    int live = rd__task_live_groups();
    for (int i = 0; i < 64; i++)
        ISPCSync(handles[i]);
    EXPECT_EQ(rd__task_parked_groups(), 64);
    EXPECT_EQ(rd__task_live_groups(), live);
    ISPCSync(handles[64]);
    EXPECT_EQ(rd__task_parked_groups(), 64);
    EXPECT_EQ(rd__task_live_groups(), live - 1);
}

TEST(RdTaskGroups, The65thOfConcurrentSyncsIsDestroyed) {
    const int threads = 65;
    std::barrier<> acquired(threads);
    std::atomic<int> count{0};
    std::atomic<int> liveAfterAcquire{0};
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
    void* warm = nullptr;
    ISPCLaunch(&warm, fn(countTask), &count, 64, 64, 1);
    ISPCSync(warm);
    int live = rd__task_live_groups();
    for (int i = 0; i < 200; i++) {
        void* handle = nullptr;
        ISPCLaunch(&handle, fn(countTask), &count, 64, 64, 1);
        ISPCSync(handle);
    }
    EXPECT_EQ(rd__task_live_groups(), live);
    EXPECT_EQ(count.load(), 201 * 4096);
}

// ---- Concurrency -----------------------------------------------------------

TEST(RdTaskThreads, TiledLaunchMatchesASingleThreadRun) {
    Field serial{203, 141, std::vector<float>(203 * 141, -1.0f)};
    for (int y = 0; y < serial.height; y++) {
        for (int x = 0; x < serial.width; x++)
            serial.values[(size_t)y * serial.width + x] = cellValue(x, y);
    }
    for (int round = 0; round < 5; round++) {
        Field threaded{203, 141, std::vector<float>(203 * 141, -1.0f)};
        void* handle = nullptr;
        ISPCLaunch(&handle, fn(tileTask), &threaded, (203 + 15) / 16, (141 + 15) / 16, 1);
        ISPCSync(handle);
        ASSERT_EQ(std::memcmp(threaded.values.data(), serial.values.data(),
                              serial.values.size() * sizeof(float)),
                  0);
    }
}

TEST(RdTaskThreads, ManyLaunchersAtOnce) {
    const int launcherCount = 8, rounds = 40;
    std::vector<std::atomic<int>> counts(launcherCount);
    std::vector<std::thread> launchers;
    for (int t = 0; t < launcherCount; t++) {
        launchers.emplace_back([&counts, t] {
            for (int r = 0; r < rounds; r++) {
                void* handle = nullptr;
                ISPCLaunch(&handle, fn(countTask), &counts[t], 5 + t, 3, 2);
                int* scratch = (int*)ISPCAlloc(&handle, 64 * sizeof(int), 64);
                for (int i = 0; i < 64; i++)
                    scratch[i] = t;
                ISPCLaunch(&handle, fn(countTask), &counts[t], 1, 1, 1);
                ISPCSync(handle);
                ASSERT_EQ(counts[t].load(), (r + 1) * ((5 + t) * 6 + 1));
            }
        });
    }
    for (std::thread& launcher : launchers)
        launcher.join();
    for (int t = 0; t < launcherCount; t++)
        EXPECT_EQ(counts[t].load(), rounds * ((5 + t) * 6 + 1));
    EXPECT_LE(rd__task_parked_groups(), 64);
}

TEST(RdTaskThreads, TasksMayLaunchAndSyncTheirOwnGroups) {
    Nested nested;
    void* handle = nullptr;
    ISPCLaunch(&handle, fn(outerTask), &nested, 8, 4, 1);
    ISPCSync(handle);
    EXPECT_EQ(nested.outerDone.load(), 32);
    EXPECT_EQ(nested.inner.load(), 32 * 16);
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
            bool ok = nested.outerDone.load() == 16 && nested.inner.load() == 16 * 16 &&
                      rd_dispatch_thread_count() == 1;
            std::exit(ok ? 0 : 3);
        },
        testing::ExitedWithCode(0), "");
}
