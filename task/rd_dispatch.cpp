#include "task/rd_dispatch.h"

#include <condition_variable>
#include <cstddef>
#include <cstdlib>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

#include "app/app_assert.h"

// ---- State -----------------------------------------------------------------

namespace {

struct Item {
    rd_dispatch_fn fn;
    void* context;
    rd_dispatch_group_s* group;
};

struct Pool {
    std::vector<std::thread> threads;
    // Queued items, a ring that only grows, so a steady launch loop allocates nothing.
    std::vector<Item> ring;
    size_t head = 0;
    size_t count = 0;
    unsigned sleeping = 0;
    bool stopping = false;
    // Workers sleep on this while the ring is empty.
    std::condition_variable work;
};

} // namespace

struct rd_dispatch_group_s {
    size_t pending = 0;   // items queued or running
    unsigned waiters = 0; // threads blocked in rd_dispatch_group_wait
    // Waiters sleep on this until pending drops to 0.
    std::condition_variable done;
};

// One lock for the pool's lifetime, its ring and every group's counters: each
// item takes it once on submission and once on completion, never while it runs.
static std::mutex s_lock;
static Pool* s_pool;         // guarded by s_lock; null until the first submission
static unsigned s_requested; // guarded by s_lock; 0 = one thread per core
static bool s_shut;          // guarded by s_lock; set once the pool was shut down
// Lets a waiting worker tell itself apart from other waiters.
static thread_local bool t_isWorker;

static unsigned rd__defaultThreads(void) {
    unsigned cores = std::thread::hardware_concurrency();
    return cores ? cores : 1;
}

// ---- Queue (callers hold s_lock) -------------------------------------------

static void rd__push(Pool* pool, const Item& item) {
    if (pool->count == pool->ring.size()) {
        std::vector<Item> grown(pool->ring.size() * 2);
        for (size_t i = 0; i < pool->count; i++)
            grown[i] = pool->ring[(pool->head + i) % pool->ring.size()];
        pool->ring.swap(grown);
        pool->head = 0;
    }
    pool->ring[(pool->head + pool->count) % pool->ring.size()] = item;
    pool->count++;
}

static Item rd__pop(Pool* pool) {
    Item item = pool->ring[pool->head];
    pool->head = (pool->head + 1) % pool->ring.size();
    pool->count--;
    return item;
}

static void rd__finish(rd_dispatch_group_s* group) {
    // Notified under the lock: once it is released the waiter may free the group.
    if (--group->pending == 0 && group->waiters)
        group->done.notify_all();
}

// ---- Workers and lifetime --------------------------------------------------

static void rd__workerMain(Pool* pool) {
    t_isWorker = true;
    std::unique_lock<std::mutex> lock(s_lock);
    for (;;) {
        while (pool->count == 0 && !pool->stopping) {
            pool->sleeping++;
            pool->work.wait(lock);
            pool->sleeping--;
        }
        // Stopping drains the ring first so that no waiter is left hanging.
        if (pool->count == 0)
            break;
        Item item = rd__pop(pool);
        lock.unlock();
        item.fn(item.context);
        lock.lock();
        rd__finish(item.group);
    }
}

// Lets the workers drain the ring, then joins them.
static void rd__shutdown(void) {
    std::unique_lock<std::mutex> lock(s_lock);
    Pool* pool = s_pool;
    s_pool = nullptr;
    s_shut = true;
    if (!pool)
        return;
    pool->stopping = true;
    lock.unlock();
    pool->work.notify_all();
    for (std::thread& thread : pool->threads) {
        // exit() called from inside an item runs this on a worker: it cannot join itself.
        if (thread.get_id() == std::this_thread::get_id())
            thread.detach();
        else
            thread.join();
    }
    delete pool;
}

namespace {
// Shuts the pool down when destroyed.
struct rd__pool_reaper_s {
    ~rd__pool_reaper_s() { rd__shutdown(); }
};
} // namespace

// Starts the pool; the caller holds s_lock. A platform refusing threads leaves
// the pool smaller (or empty: items then run on the submitter).
static Pool* rd__start(void) {
    Pool* pool = new Pool;
    pool->ring.resize(1024);
    unsigned want = s_requested ? s_requested : rd__defaultThreads();
    pool->threads.reserve(want);
    for (unsigned i = 0; i < want; i++) {
        try {
            // The workers run the queued items, by default one per core; each
            // starts by blocking on s_lock until the caller releases it.
            pool->threads.emplace_back(rd__workerMain, pool);
        } catch (const std::system_error&) {
            break;
        }
    }
    // Constructed on the first start, so its destructor runs at exit before
    // anything constructed earlier goes, or when the plug-in module holding
    // this pool is unloaded: a plain atexit handler would outlive the module
    // under some runtimes (ThreadSanitizer's) and be called into unmapped code.
    static rd__pool_reaper_s reaper;
    s_pool = pool;
    return pool;
}

// ---- Public ----------------------------------------------------------------

bool rd_dispatch_set_threads(unsigned count) {
    std::lock_guard<std::mutex> lock(s_lock);
    if (s_pool || s_shut)
        return false;
    s_requested = count;
    return true;
}

unsigned rd_dispatch_thread_count(void) {
    std::lock_guard<std::mutex> lock(s_lock);
    if (s_pool)
        return s_pool->threads.empty() ? 1u : (unsigned)s_pool->threads.size();
    return s_requested ? s_requested : rd__defaultThreads();
}

bool rd_dispatch_is_worker(void) {
    return t_isWorker;
}

rd_dispatch_group_s* rd_dispatch_group_create(void) {
    return new rd_dispatch_group_s;
}

void rd_dispatch_group_destroy(rd_dispatch_group_s* group) {
    if (!group)
        return;
    {
        std::lock_guard<std::mutex> lock(s_lock);
        SW_ASSERT(group->pending == 0 && group->waiters == 0,
                  "destroying a dispatch group with work or waiters; wait for it first");
    }
    delete group;
}

void rd_dispatch_group_async(rd_dispatch_group_s* group, rd_dispatch_fn fn, void* context) {
    SW_ASSERT(group && fn, "rd_dispatch_group_async needs a group and a function");
    std::unique_lock<std::mutex> lock(s_lock);
    Pool* pool = s_pool;
    if (!pool && !s_shut)
        pool = rd__start();
    if (!pool || pool->threads.empty()) {
        lock.unlock();
        fn(context);
        return;
    }
    rd__push(pool, Item{fn, context, group});
    group->pending++;
    bool wake = pool->sleeping > 0;
    lock.unlock();
    // The pool outlives this call: only its shutdown at exit or unload deletes it.
    if (wake)
        pool->work.notify_one();
}

void rd_dispatch_group_wait(rd_dispatch_group_s* group) {
    SW_ASSERT(group, "rd_dispatch_group_wait needs a group");
    std::unique_lock<std::mutex> lock(s_lock);
    while (group->pending) {
        Pool* pool = s_pool;
        if (t_isWorker && pool && pool->count) {
            // A worker blocking here could hold up the very items it waits
            // for; it runs queued items of any group instead.
            Item item = rd__pop(pool);
            lock.unlock();
            item.fn(item.context);
            lock.lock();
            rd__finish(item.group);
            continue;
        }
        group->waiters++;
        group->done.wait(lock);
        group->waiters--;
    }
}
