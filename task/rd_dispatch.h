#pragma once
// Dispatch: one process-wide pool of worker threads and groups of work items
// that a caller can wait for. The task runtime spreads tile tasks over it.
//
// The pool starts on the first submission with one thread per core (or the
// count set beforehand) and is shut down when the process exits, or when the
// plug-in module holding it is unloaded: the workers drain the queued items
// and are joined.

// ---- Pool ------------------------------------------------------------------

// Sets how many worker threads the pool will start (0: one per core). Returns
// false, changing nothing, when the pool is already running.
// Thread: any; meant for program start (a --threads option).
bool rd_dispatch_set_threads(unsigned count);

// Returns the number of worker threads the pool runs, or will run once it
// starts. Never 0.
unsigned rd_dispatch_thread_count(void);

// Returns true when the calling thread is one of the pool's workers.
bool rd_dispatch_is_worker(void);

// ---- Groups ----------------------------------------------------------------

typedef struct rd_dispatch_group_s rd_dispatch_group_s;

// A work item: called once with the context given at submission.
typedef void (*rd_dispatch_fn)(void* context);

// Returns a new empty group. Owns: caller (rd_dispatch_group_destroy).
rd_dispatch_group_s* rd_dispatch_group_create(void);

// Frees a group. Its items must all have finished (wait for it first).
void rd_dispatch_group_destroy(rd_dispatch_group_s* group);

// Queues fn(context) on the pool as part of the group and returns at once.
// Items of all groups run concurrently in roughly submission order. After the
// pool has shut down (process exit) the item runs on the caller instead.
// Thread: any; the group may be shared by several submitters.
void rd_dispatch_group_async(rd_dispatch_group_s* group, rd_dispatch_fn fn, void* context);

// Waits until every item submitted to the group so far has returned; what the
// items wrote is visible to the caller afterwards. A worker of the pool that
// waits runs queued items meanwhile, so nested waits cannot starve the pool.
// Thread: any, several at once.
void rd_dispatch_group_wait(rd_dispatch_group_s* group);
