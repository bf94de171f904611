#pragma once
// Large blocks (image pixels, float planes, fields) backed by huge pages where
// the system offers them on request: a first touch of a fresh block then
// costs one page fault per 2 MiB instead of one per 4 KiB. Small blocks are
// plain malloc. Every block is released with free().

#include <cstddef>

// Returns bytes of uninitialised memory, or null when out of memory.
void* gr_memory_alloc(size_t bytes);

// Returns count x size bytes of zeroed memory, or null when out of memory or
// when the product overflows.
void* gr_memory_calloc(size_t count, size_t size);
