// Huge-page backed large blocks: 2 MiB aligned, rounded up to whole huge
// pages, and marked before their first touch, so that the system backs them
// with huge pages as they are touched.

#include "gr/gr_memory.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>

#if defined(__linux__)
#include <sys/mman.h>
#endif

// A huge page of the processors this runs on.
static constexpr size_t GR__HUGE_PAGE = size_t(2) << 20;

// Blocks smaller than this stay plain malloc: a huge page saves little there
// and the rounding would waste much.
static constexpr size_t GR__LARGE = 2 * GR__HUGE_PAGE;

static size_t gr__rounded(size_t bytes) {
    return (bytes + GR__HUGE_PAGE - 1) & ~(GR__HUGE_PAGE - 1);
}

void* gr_memory_alloc(size_t bytes) {
    if (bytes < GR__LARGE)
        return std::malloc(bytes);
    if (bytes > SIZE_MAX - GR__HUGE_PAGE)
        return nullptr;
    void* block = std::aligned_alloc(GR__HUGE_PAGE, gr__rounded(bytes));
#if defined(__linux__) && defined(MADV_HUGEPAGE)
    // Advice only: where the system has no huge pages to give, the block is
    // still ordinary memory.
    if (block)
        madvise(block, gr__rounded(bytes), MADV_HUGEPAGE);
#endif
    return block;
}

void* gr_memory_calloc(size_t count, size_t size) {
    if (size != 0 && count > SIZE_MAX / size)
        return nullptr;
    const size_t bytes = count * size;
    if (bytes < GR__LARGE)
        return std::calloc(count, size);
    void* block = gr_memory_alloc(bytes);
    if (!block)
        return nullptr;
#if defined(__linux__)
    // The block owns whole pages of private memory: dropping them zeroes it
    // without touching it, so a plane never written takes no memory, and one
    // reused from earlier work gives its pages back until written again.
    if (madvise(block, gr__rounded(bytes), MADV_DONTNEED) == 0)
        return block;
#endif
    std::memset(block, 0, bytes);
    return block;
}
