#include "task/rd_task.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdlib>

#include "app/app_assert.h"
#include "app/app_log.h"
#include "task/rd_dispatch.h"
#include "task/task_internal.h"

// ---- Records and groups ----------------------------------------------------

// The first two keep the names that the limit message tells people to raise.
#define LOG_TASK_QUEUE_CHUNK_SIZE 14
#define TASK_QUEUE_CHUNK_SIZE (1 << LOG_TASK_QUEUE_CHUNK_SIZE)
#define RD_TASK_MAX_CHUNKS 8
#define RD_TASK_MAX_RECORDS (RD_TASK_MAX_CHUNKS * TASK_QUEUE_CHUNK_SIZE)
#define RD_TASK_BUFFERS 16
#define RD_TASK_INLINE_SIZE 256
#define RD_TASK_FREE_SLOTS 64

namespace {

struct alignas(32) TaskRecord {
    rd_task_fn func;
    void* data;
    int32_t index; // within its own launch
    int32_t counts[3];
};
static_assert(sizeof(TaskRecord) == 32, "task records are 32 bytes");

struct TaskGroup {
    int32_t nextRecord;
    TaskRecord* recordChunks[RD_TASK_MAX_CHUNKS];
    int32_t bufferIndex;
    int32_t bufferOffset;
    int32_t bufferSizes[RD_TASK_BUFFERS];
    char* buffers[RD_TASK_BUFFERS];
    alignas(64) char inlineArea[RD_TASK_INLINE_SIZE];
    rd_dispatch_group_s* dispatch;
};

} // namespace

// Parked groups; launching threads take and park them without a lock, and the
// sequentially consistent exchanges order a group's reset before its reuse.
static std::atomic<TaskGroup*> s_freeTaskGroups[RD_TASK_FREE_SLOTS];
// Groups alive (parked or in use); counted from any launching thread.
static std::atomic<int> s_liveGroups;

static TaskGroup* rd__groupCreate(void) {
    TaskGroup* group = new TaskGroup{};
    group->buffers[0] = group->inlineArea;
    group->bufferSizes[0] = RD_TASK_INLINE_SIZE;
    group->dispatch = rd_dispatch_group_create();
    s_liveGroups.fetch_add(1);
    return group;
}

static void rd__groupDestroy(TaskGroup* group) {
    rd_dispatch_group_destroy(group->dispatch);
    for (TaskRecord* chunk : group->recordChunks)
        delete[] chunk;
    for (int i = 1; i < RD_TASK_BUFFERS; i++)
        delete[] group->buffers[i];
    delete group;
    s_liveGroups.fetch_sub(1);
}

namespace {
// Frees the parked groups when the program exits or the plug-in module is
// unloaded, so nothing kept for reuse outlives the runtime.
struct rd__parked_reaper_s {
    ~rd__parked_reaper_s() {
        for (std::atomic<TaskGroup*>& slot : s_freeTaskGroups)
            if (TaskGroup* group = slot.exchange(nullptr))
                rd__groupDestroy(group);
    }
} s_parkedReaper;
} // namespace

// Returns the group behind *handlePtr, taking a parked one or making a new one
// when the handle is still null.
static TaskGroup* rd__groupAcquire(void** handlePtr) {
    SW_ASSERT(handlePtr, "the task runtime needs the address of a handle");
    if (*handlePtr)
        return (TaskGroup*)*handlePtr;
    TaskGroup* group = nullptr;
    for (std::atomic<TaskGroup*>& slot : s_freeTaskGroups) {
        if (slot.load() && (group = slot.exchange(nullptr)))
            break;
    }
    if (!group)
        group = rd__groupCreate();
    *handlePtr = group;
    return group;
}

static TaskRecord* rd__record(TaskGroup* group, int32_t at) {
    int chunk = at >> LOG_TASK_QUEUE_CHUNK_SIZE;
    SW_ASSERT(chunk < RD_TASK_MAX_CHUNKS, "task record past the last chunk");
    if (!group->recordChunks[chunk])
        group->recordChunks[chunk] = new TaskRecord[TASK_QUEUE_CHUNK_SIZE];
    return &group->recordChunks[chunk][at & (TASK_QUEUE_CHUNK_SIZE - 1)];
}

static void rd__runTask(void* context) {
    const TaskRecord* record = (const TaskRecord*)context;
    int cx = record->counts[0], cy = record->counts[1], cz = record->counts[2];
    int index = record->index;
    record->func(record->data, 0, 1, index, cx * cy * cz, index % cx, (index / cx) % cy,
                 index / (cx * cy), cx, cy, cz);
}

// ---- Entry points ----------------------------------------------------------

extern "C" void ISPCLaunch(void** handlePtr, void* func, void* data, int countx, int county,
                           int countz) {
    SW_ASSERT(func, "ISPCLaunch needs a task function");
    TaskGroup* group = rd__groupAcquire(handlePtr);
    // Any count below 1 makes an empty grid; a product of negatives must not
    // turn into tasks, nor a negative product move the record counter back.
    if (countx < 1 || county < 1 || countz < 1)
        return;
    int64_t count = (int64_t)countx * county * countz;
    int64_t base = group->nextRecord;
    if (base + count > RD_TASK_MAX_RECORDS) {
        // The record that would open a ninth chunk is always the 131072nd.
        app_log("A total of %d tasks have been launched from the current function--the "
                "simple built-in task system can handle no more. You can increase the "
                "values of TASK_QUEUE_CHUNK_SIZE and LOG_TASK_QUEUE_CHUNK_SIZE to work "
                "around this limitation.  Sorry!  Exiting.\n",
                RD_TASK_MAX_RECORDS);
        std::exit(1);
    }
    group->nextRecord = (int32_t)(base + count);
    // Every record is complete before the first task can read it.
    for (int32_t i = 0; i < (int32_t)count; i++) {
        TaskRecord* record = rd__record(group, (int32_t)base + i);
        record->func = (rd_task_fn)func;
        record->data = data;
        record->index = i;
        record->counts[0] = countx;
        record->counts[1] = county;
        record->counts[2] = countz;
    }
    for (int32_t i = 0; i < (int32_t)count; i++)
        rd_dispatch_group_async(group->dispatch, rd__runTask, rd__record(group, (int32_t)base + i));
}

extern "C" void* ISPCAlloc(void** handlePtr, int64_t size, int32_t alignment) {
    SW_ASSERT(alignment > 0 && (alignment & (alignment - 1)) == 0,
              "ISPCAlloc alignment must be a power of two");
    TaskGroup* group = rd__groupAcquire(handlePtr);
    if (size < 0 || size > INT32_MAX - alignment)
        return nullptr;
    const uintptr_t mask = ~(uintptr_t)(alignment - 1);
    for (;;) {
        int cur = group->bufferIndex;
        uintptr_t start = (uintptr_t)group->buffers[cur];
        uintptr_t p = (start + group->bufferOffset + alignment - 1) & mask;
        int64_t newOffset = (int64_t)(p - start) + size;
        // Strictly less: a request that would fill the buffer to the last byte moves on.
        if (newOffset < group->bufferSizes[cur]) {
            group->bufferOffset = (int32_t)newOffset;
            return (void*)p;
        }
        if (cur + 1 == RD_TASK_BUFFERS)
            return nullptr;
        cur++;
        group->bufferIndex = cur;
        group->bufferOffset = 0;
        // Buffers kept from before a sync are reused at their own size; a
        // request they cannot hold moves on to the next.
        if (!group->buffers[cur]) {
            int64_t want = std::max<int64_t>(size + alignment, (int64_t)1 << (12 + cur));
            group->buffers[cur] = new char[want];
            group->bufferSizes[cur] = (int32_t)want;
        }
    }
}

extern "C" void ISPCSync(void* handle) {
    if (!handle)
        return;
    TaskGroup* group = (TaskGroup*)handle;
    rd_dispatch_group_wait(group->dispatch);
    group->nextRecord = 0;
    group->bufferIndex = 0;
    group->bufferOffset = 0;
    for (std::atomic<TaskGroup*>& slot : s_freeTaskGroups) {
        TaskGroup* empty = nullptr;
        if (slot.compare_exchange_strong(empty, group))
            return;
    }
    rd__groupDestroy(group);
}

// ---- Introspection ---------------------------------------------------------

int rd__task_group_records(void* handle) {
    return handle ? ((TaskGroup*)handle)->nextRecord : 0;
}

int rd__task_group_chunks(void* handle) {
    int chunks = 0;
    if (handle) {
        for (TaskRecord* chunk : ((TaskGroup*)handle)->recordChunks)
            chunks += chunk != nullptr;
    }
    return chunks;
}

int rd__task_group_buffers(void* handle) {
    int buffers = 0;
    if (handle) {
        for (char* buffer : ((TaskGroup*)handle)->buffers)
            buffers += buffer != nullptr;
    }
    return buffers;
}

int rd__task_group_buffer(void* handle) {
    return handle ? ((TaskGroup*)handle)->bufferIndex : 0;
}

int rd__task_parked_groups(void) {
    int parked = 0;
    for (std::atomic<TaskGroup*>& slot : s_freeTaskGroups)
        parked += slot.load() != nullptr;
    return parked;
}

int rd__task_live_groups(void) {
    return s_liveGroups.load();
}
