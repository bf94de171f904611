#pragma once
// Helpers shared inside the task runtime, its tests and its benchmarks. Not
// for other folders.

// ---- Task runtime introspection --------------------------------------------

// Returns the task records handed out by the group since its last sync.
int rd__task_group_records(void* handle);

// Returns how many 16384-record chunks the group has allocated (they stay
// allocated across syncs).
int rd__task_group_chunks(void* handle);

// Returns how many memory buffers the group holds, its inline area included
// (they stay allocated across syncs).
int rd__task_group_buffers(void* handle);

// Returns the index of the memory buffer the group's allocator is filling.
int rd__task_group_buffer(void* handle);

// Returns how many groups are parked in the free list (at most 64).
int rd__task_parked_groups(void);

// Returns how many task groups exist, parked or in use.
int rd__task_live_groups(void);
