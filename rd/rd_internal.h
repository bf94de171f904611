#pragma once
// Helpers shared inside the reaction-diffusion subsystem and its tests. Not for
// other folders.

#include <cstdint>

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

// ---- Random numbers --------------------------------------------------------

// Returns or replaces the process-wide seed behind frand(). Thread: main.
uint32_t rd__frand_seed(void);
void rd__frand_set_seed(uint32_t seed);

// ---- Simulation runner -----------------------------------------------------

typedef struct rd_s rd_s;

// Returns the display pixel for field value v: grey (v + 1) * 127.5 clamped to
// 0..255 (not-a-number gives 255), truncated, opaque.
uint32_t rd__field_grey(float v);

// Returns true while the worker sleeps (paused or at its iteration limit).
bool rd__runner_idle(const rd_s* rd);

// Returns how many queued edits the worker has not applied yet (each painted
// cell counts one, a randomisation one).
unsigned long rd__runner_pending(rd_s* rd);

// Copies the current field (width * height floats) between iterations.
void rd__runner_copy_field(rd_s* rd, float* out);
