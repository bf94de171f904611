#pragma once
// Task runtime: runs a grid of independent task invocations on the dispatch
// pool (task/rd_dispatch.h) and lets the launcher wait for all of them. The three
// entry points keep the C names and signatures that data-parallel kernels call.
//
// Usage: void* handle = nullptr; ISPCLaunch(&handle, ...) one or more times;
// ISPCSync(handle) once. The handle is dead after the sync.
// Thread: Launch, Alloc and Sync on one handle come from one launching thread;
// any number of launching threads may each use their own handles at once.

#include <cstdint>

// A task: data as given at launch, then thread index (always 0), thread count
// (always 1), the task's index within its launch and the launch's task count,
// its index in x, y and z, and the launch's counts in x, y and z. Tasks of one
// launch run concurrently and must not use the thread index to split storage.
typedef void (*rd_task_fn)(void* data, int threadIndex, int threadCount, int taskIndex,
                           int taskCount, int taskIndex0, int taskIndex1, int taskIndex2,
                           int taskCount0, int taskCount1, int taskCount2);

extern "C" {

// Launches countx * county * countz tasks of func (an rd_task_fn) on data and
// returns at once. A null *handlePtr gets a task group first. A launch with any
// count below 1 runs nothing but still leaves a group in *handlePtr. More than
// 131072 tasks in one group between syncs is fatal: a message on standard
// error and process exit with status 1.
void ISPCLaunch(void** handlePtr, void* func, void* data, int countx, int county, int countz);

// Returns size bytes aligned to alignment (a power of two) that stay valid
// until the group's sync; a null *handlePtr gets a task group first. Returns
// null for a negative or oversized request (the group's 16 buffers cannot hold
// it). Owns: the task group.
void* ISPCAlloc(void** handlePtr, int64_t size, int32_t alignment);

// Waits for every task launched into the group, then recycles the group (or
// frees it when 64 are already parked). Null does nothing.
void ISPCSync(void* handle);

} // extern "C"
