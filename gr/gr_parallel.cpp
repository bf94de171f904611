// Row bands on the dispatch pool: the image filters split their per-row stages
// into consecutive bands and run them as tasks of the task runtime.

#include <algorithm>

#include "app/app_assert.h"
#include "gr/gr_internal.h"
#include "task/rd_dispatch.h"
#include "task/rd_task.h"

namespace {

struct gr__bands_s {
    gr__rows_fn fn;
    void* ctx;
    int32_t height;
};

} // namespace

// Band i of n covers [height * i / n, height * (i + 1) / n): consecutive,
// disjoint and together the whole range, whatever n.
static void gr__band_task(void* data, int, int, int taskIndex, int taskCount, int, int, int, int,
                          int, int) {
    const gr__bands_s* job = static_cast<const gr__bands_s*>(data);
    const int64_t h = job->height;
    const int32_t y0 = int32_t(h * taskIndex / taskCount);
    const int32_t y1 = int32_t(h * (taskIndex + 1) / taskCount);
    if (y0 < y1)
        job->fn(job->ctx, y0, y1);
}

int32_t gr__band_count(int32_t height, int32_t bands) {
    SW_ASSERT(height >= 0 && bands >= 0, "row and band counts must not be negative");
    if (bands == GR__BANDS_AUTO) {
        // A few bands per thread even out rows of unequal cost (streamlines
        // that run along the border, a core shared with another program).
        const unsigned threads = rd_dispatch_thread_count();
        bands = threads > 1 ? int32_t(std::min(threads * 4u, 256u)) : 1;
    }
    return std::max(1, std::min(bands, height));
}

void gr__parallel_rows(int32_t height, int32_t bands, gr__rows_fn fn, void* ctx) {
    SW_ASSERT(fn, "gr__parallel_rows needs a row function");
    if (height <= 0)
        return;
    bands = gr__band_count(height, bands);
    if (bands == 1) {
        fn(ctx, 0, height);
        return;
    }
    gr__bands_s job = {fn, ctx, height};
    void* handle = nullptr;
    ISPCLaunch(&handle, reinterpret_cast<void*>(&gr__band_task), &job, bands, 1, 1);
    // The sync orders every band's writes before the caller's next read.
    ISPCSync(handle);
}
