#include "rd/rd_solver.h"

#include <algorithm>
#include <cstddef>
#include <cstdlib>
#include <new>
#include <type_traits>
#include <utility>

#include "app/app_assert.h"
#include "app/app_log.h"
#include "gr/gr_color.h"
#include "gr/gr_memory.h"
#include "rd/rd_internal.h"
#include "rd/rd_random.h"
#include "task/rd_task.h"

// ---- Construction ----------------------------------------------------------

template <typename T> reaction_diffusion2<T>::reaction_diffusion2(int w, int h) {
    static_assert(std::is_trivially_copyable_v<T>, "fields are plain numbers");
    SW_ASSERT(w >= 1 && h >= 1, "the solver grid needs at least one cell");
    base_radius = 20;
    step = 0.04f;
    width = w;
    height = h;
    const size_t n = (size_t)w * (size_t)h;
    // cur and scale are written below. next is zeroed by calloc, so it takes
    // memory only once the first iteration writes it, after the preparation's
    // scratch is gone.
    cur = (T*)gr_memory_alloc(n * sizeof(T));
    next = (T*)std::calloc(n, sizeof(T));
    scale = (T*)gr_memory_alloc(n * sizeof(T));
    if (!cur || !next || !scale) {
        std::free(cur);
        std::free(next);
        std::free(scale);
        throw std::bad_alloc();
    }
    for (size_t i = 0; i < n; i++)
        scale[i] = T(1);
    complex = nullptr;
    runs = nullptr;
    summing = false;
    log = app_log_stderr();
    randomize();
}

template <typename T> reaction_diffusion2<T>::~reaction_diffusion2() {
    std::free(cur);
    std::free(next);
    std::free(scale);
    gr_complex_destroy(complex);
    rd__runs_destroy(runs);
}

template <typename T> void reaction_diffusion2<T>::randomize() {
    MTRand rng;
    rng.seed();
    const size_t n = (size_t)width * (size_t)height;
    for (size_t i = 0; i < n; i++)
        cur[i] = T(rng.rand_closed(2.0) - 1.0);
}

static void rd__logSst(void* log, float fraction) {
    app_log_to(*static_cast<const app_log_sink_s*>(log), "SST: %g%%\n", fraction * 100.0);
}

template <typename T> bool reaction_diffusion2<T>::set_reference(gr_image_s* image) {
    SW_ASSERT(image && (int32_t)gr_image_get_width(image) == width &&
                  (int32_t)gr_image_get_height(image) == height,
              "set_reference needs an image of the grid's size");
    const uint32_t* pixels = gr_image_pixels_lock(image);
    const size_t n = (size_t)width * (size_t)height;
    for (size_t i = 0; i < n; i++) {
        const T b = T(gr_color_brightness(pixels[i]));
        scale[i] = b;
        cur[i] = b;
    }
    gr_image_pixels_unlock(image, false);
    // The radii and tangents change: runs made for the old ones are wrong.
    rd__runs_destroy(runs);
    runs = nullptr;
    summing = false;
    gr_complex_destroy(complex);
    complex = gr_complex_create(image);
    if (complex) {
        gr_complex_set_log(complex, log);
        // The engine reads tangents only, and the flow passes the gradient
        // magnitude: the rest of the tensor is never kept.
        if (gr_complex_compute_tangents(complex, 7, rd__logSst, &log))
            return true;
    }
    gr_complex_destroy(complex);
    complex = nullptr;
    return false;
}

// ---- Oriented disc sums ----------------------------------------------------

// Brings any offset position into [0, n): used when the radius exceeds the
// grid, where one wrap no longer reaches it.
static inline int rd__wrap(int p, int n) {
    const int m = p % n;
    return m < 0 ? m + n : m;
}

template <typename T>
float reaction_diffusion2<T>::calc_disc_sum(int x, int y, int r, float a, float b) const {
    if (r < 0)
        return 0.0f;
    const float ru = 1.0f / (float)r;
    const float rv = 1.0f / (float)(r * 0.5);
    const int W = width, H = height;
    // Offsets of up to one grid size wrap by a single add or subtract; larger
    // radii (grids smaller than the ellipse) need the full modulo.
    const bool small = r > W || r > H;
    float sum = 0.0f;
    for (int dy = -r; dy <= r; dy++) {
        int q = y + dy;
        if (small)
            q = rd__wrap(q, H);
        else if (q < 0)
            q += H;
        else if (q >= H)
            q -= H;
        const T* row = cur + (size_t)q * (size_t)W;
        const float fy = (float)dy;
        auto inside = [&](int dx) { return rd__ellipse_inside((float)dx, fy, a, b, ru, rv); };
        if (small) {
            for (int dx = -r; dx <= r; dx++)
                if (inside(dx))
                    sum += (float)row[rd__wrap(x + dx, W)];
            continue;
        }
        // The wrap branch is hoisted: columns left of the grid, inside it, and
        // right of it, in ascending dx so the sum keeps its order.
        const int lo = -x, hi = W - 1 - x;
        int dx = -r;
        for (; dx <= r && dx < lo; dx++)
            if (inside(dx))
                sum += (float)row[x + dx + W];
        for (; dx <= r && dx <= hi; dx++)
            if (inside(dx))
                sum += (float)row[x + dx];
        for (; dx <= r; dx++)
            if (inside(dx))
                sum += (float)row[x + dx - W];
    }
    return sum;
}

template <typename T>
bool reaction_diffusion2<T>::cell_grows(int x, int y, int r, float a, float b) const {
    const float s1 = calc_disc_sum(x, y, r, a, b);
    const float s2 = calc_disc_sum(x, y, 2 * r, a, b);
    // Equal sums and not-a-number comparisons move the cell down.
    return s2 < s1;
}

// ---- Iteration -------------------------------------------------------------

template <typename T> int reaction_diffusion2<T>::cell_radius(int i) const {
    const float p = (float)base_radius * (float)scale[i];
    // Written so that a not-a-number product falls to the minimum of 3.
    const float m = p > 3.0f ? p : 3.0f;
    // Far beyond any grid; keeps the conversion to int defined for wild scales.
    return m < 65536.0f ? (int)m : 65536;
}

template <typename T> bool reaction_diffusion2<T>::prepare_runs() {
    SW_ASSERT(complex, "prepare_runs needs a reference (set_reference) and its flow");
    SW_ASSERT(!summing, "prepare_runs runs between iterations");
    rd__runs_destroy(runs);
    runs = rd__runs_create(this);
    return runs != nullptr;
}

template <typename T> void reaction_diffusion2<T>::release_runs() {
    SW_ASSERT(!summing, "release_runs runs between iterations");
    rd__runs_destroy(runs);
    runs = nullptr;
}

template <typename T> bool reaction_diffusion2<T>::release_analysis() {
    SW_ASSERT(!summing, "release_analysis runs between iterations");
    if (!runs || rd__runs_scanned(runs) > 0)
        return false;
    gr_complex_destroy(complex);
    complex = nullptr;
    return true;
}

template <typename T> void reaction_diffusion2<T>::begin_iteration() {
    if (!runs)
        return;
    rd__runs_sum_rows(runs, cur);
    summing = true;
}

template <typename T> void reaction_diffusion2<T>::update(int x0, int y0, int w, int h) {
    SW_ASSERT(complex || (runs && summing),
              "update needs a reference (set_reference) and its flow, or runs within an iteration");
    SW_ASSERT(x0 >= 0 && y0 >= 0, "update rectangles start inside the grid");
    if (h <= 0 || y0 >= height || w <= 0)
        return;
    if (runs && summing) {
        const int x1 = w < width - x0 ? x0 + w : width;
        const int y1 = h < height - y0 ? y0 + h : height;
        if (x0 < x1)
            rd__runs_update(runs, this, x0, y0, x1, y1);
        return;
    }
    for (int y = y0; y < y0 + h && y < height; y++) {
        for (int x = x0; x < x0 + w && x < width; x++) {
            const int i = y * width + x;
            const int r = cell_radius(i);
            float a = 0.0f, b = 0.0f, lmin = 0.0f, lmaj = 0.0f;
            gr_complex_tensor(complex, x, y, &a, &b, &lmin, &lmaj);
            next[i] = cell_grows(x, y, r, a, b) ? cur[i] + step : cur[i] - step;
        }
    }
}

// Tasks one launch may hold (the task runtime takes 131072 between syncs):
// larger grids go in several launches.
static constexpr int RD__LAUNCH_MAX = 65536;

// Tiles from row ty0 on.
struct rd__tiles_s {
    void* solver;
    int ty0;
};

template <typename T>
static void rd__tileTask(void* data, int, int, int, int, int tx, int ty, int, int, int, int) {
    const auto* job = (const rd__tiles_s*)data;
    auto* solver = (reaction_diffusion2<T>*)job->solver;
    solver->update(tx * RD_SOLVER_TILE, (job->ty0 + ty) * RD_SOLVER_TILE, RD_SOLVER_TILE,
                   RD_SOLVER_TILE);
}

// When the runs sum the ellipses, an iteration goes in strips of this many
// rows of a band of columns, the bands one after the other: the threads walk
// down a band side by side, and the prefix rows that a cell's ellipses read
// (up to 81 rows of the band's width and 80 more columns) stay in each
// core's cache for the next rows.
static constexpr int RD__STRIP_ROWS = 4;
static constexpr int RD__BAND_COLUMNS = 512;

// The strips of one iteration: bands of columns, each split into strips.
struct rd__strips_s {
    void* solver;
    int bands, strips; // per band
    int first;         // of this launch
};

static int rd__bandEdge(int width, int bands, int band) {
    return (int)((int64_t)width * band / bands);
}

template <typename T>
static void rd__stripTask(void* data, int, int, int task, int, int, int, int, int, int, int) {
    const auto* job = (const rd__strips_s*)data;
    auto* solver = (reaction_diffusion2<T>*)job->solver;
    task += job->first;
    const int band = task / job->strips, strip = task % job->strips;
    const int x0 = rd__bandEdge(solver->width, job->bands, band);
    const int x1 = rd__bandEdge(solver->width, job->bands, band + 1);
    solver->update(x0, strip * RD__STRIP_ROWS, x1 - x0, RD__STRIP_ROWS);
}

template <typename T> void reaction_diffusion2<T>::update_tiles() {
    begin_iteration();
    void* handle = nullptr;
    if (summing) {
        rd__strips_s job{this, std::max(1, (width + RD__BAND_COLUMNS / 2) / RD__BAND_COLUMNS),
                         (height + RD__STRIP_ROWS - 1) / RD__STRIP_ROWS, 0};
        const int count = job.bands * job.strips;
        rd_task_fn task = rd__stripTask<T>;
        for (; job.first < count; job.first += RD__LAUNCH_MAX) {
            handle = nullptr;
            ISPCLaunch(&handle, (void*)task, &job, std::min(RD__LAUNCH_MAX, count - job.first), 1,
                       1);
            ISPCSync(handle);
        }
        return;
    }
    const int tx = (width + RD_SOLVER_TILE - 1) / RD_SOLVER_TILE;
    const int ty = (height + RD_SOLVER_TILE - 1) / RD_SOLVER_TILE;
    const int rows = std::max(1, RD__LAUNCH_MAX / tx);
    rd_task_fn task = rd__tileTask<T>;
    for (int ty0 = 0; ty0 < ty; ty0 += rows) {
        rd__tiles_s job{this, ty0};
        handle = nullptr;
        ISPCLaunch(&handle, (void*)task, &job, tx, std::min(rows, ty - ty0), 1);
        ISPCSync(handle);
    }
}

// ---- Normalisation ---------------------------------------------------------

// Grids smaller than this are stretched on the calling thread.
static constexpr size_t RD__STRETCH_SPLIT = (size_t)1 << 16;
static constexpr int RD__STRETCH_BANDS = 16;

// The field's range and stretch, split into bands that the pool runs at once.
struct rd__stretch_s {
    float* field;
    size_t n;
    int bands;
    float mn[RD__STRETCH_BANDS], mx[RD__STRETCH_BANDS]; // per band
    float lo, k;                                        // the stretch, once the range is known
};

static void rd__bandOf(const rd__stretch_s* job, int band, size_t* i0, size_t* i1) {
    *i0 = job->n * (size_t)band / (size_t)job->bands;
    *i1 = job->n * (size_t)(band + 1) / (size_t)job->bands;
}

// Finds the band's minimum, starting from 1, and maximum, starting from -1;
// not-a-number values never win a comparison.
static void rd__rangeTask(void* data, int, int, int band, int, int, int, int, int, int, int) {
    auto* job = (rd__stretch_s*)data;
    size_t i0, i1;
    rd__bandOf(job, band, &i0, &i1);
    float mn = 1.0f, mx = -1.0f;
    for (size_t i = i0; i < i1; i++) {
        const float v = job->field[i];
        mn = v < mn ? v : mn;
        mx = v > mx ? v : mx;
    }
    job->mn[band] = mn;
    job->mx[band] = mx;
}

static void rd__stretchTask(void* data, int, int, int band, int, int, int, int, int, int, int) {
    auto* job = (rd__stretch_s*)data;
    size_t i0, i1;
    rd__bandOf(job, band, &i0, &i1);
    const float lo = job->lo, k = job->k;
    for (size_t i = i0; i < i1; i++) {
        const float t = (job->field[i] - lo) * k;
        job->field[i] = (float)(2.0 * (double)t - 1.0);
    }
}

// Runs a band task over every band: on the pool for large grids.
static void rd__stretchRun(rd__stretch_s* job, rd_task_fn task) {
    if (job->bands == 1) {
        task(job, 0, 1, 0, 1, 0, 0, 0, 1, 1, 1);
        return;
    }
    void* handle = nullptr;
    ISPCLaunch(&handle, (void*)task, job, job->bands, 1, 1);
    ISPCSync(handle);
}

template <typename T> void reaction_diffusion2<T>::finish_iteration() {
    summing = false;
    std::swap(cur, next);
    rd__stretch_s job;
    job.field = cur;
    job.n = (size_t)width * (size_t)height;
    job.bands = job.n < RD__STRETCH_SPLIT ? 1 : RD__STRETCH_BANDS;
    rd__stretchRun(&job, rd__rangeTask);
    // The bands' extremes in band order, compared as the values were.
    float mn = 1.0f, mx = -1.0f;
    for (int b = 0; b < job.bands; b++) {
        mn = job.mn[b] < mn ? job.mn[b] : mn;
        mx = job.mx[b] > mx ? job.mx[b] : mx;
    }
    const float range = mx - mn;
    if (!((double)range > 0.01))
        return;
    job.lo = mn;
    job.k = 1.0f / range;
    rd__stretchRun(&job, rd__stretchTask);
}

template <typename T> void reaction_diffusion2<T>::iterate() {
    update_tiles();
    finish_iteration();
}

template class reaction_diffusion2<float>;
