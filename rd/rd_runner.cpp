#include "rd/rd_runner.h"

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <new>
#include <thread>
#include <vector>

#include "app/app_assert.h"
#include "app/app_log.h"
#include "gr/gr_complex.h"
#include "gr/gr_filter_flow.h"
#include "rd/rd_internal.h"
#include "rd/rd_random.h"
#include "rd/rd_solver.h"

// ---- Record ----------------------------------------------------------------

// One painted cell, its value drawn when the view asked.
struct rd__paint_s {
    int32_t index;
    float value;
};

struct rd_s {
    gr_image_s* source;  // one reference held
    gr_image_s* display; // owned; the last published field
    // Owned from creation; the worker and the edits touch it only once ready.
    reaction_diffusion2<float>* solver;
    gr_image_s* flow; // owned; written by the preparation before ready is set
    int32_t width, height;
    app_log_sink_s log; // the runner's and the analysis's diagnostics

    // Atomics, because the preparer, the worker and the UI read them without
    // the lock (all sequentially consistent unless noted):
    std::atomic<bool> ready{false};      // flow is written before it is set
    std::atomic<bool> failed{false};     // set by the preparer, polled by programs
    std::atomic<uint32_t> iterations{0}; // bumped by the worker, polled by the UI
    std::atomic<float> progress{0.0f};   // written by the preparer, drawn by the view
    // Changed by the UI, read by the worker; after a change the UI takes the
    // lock and notifies (rd__poke), so the sleeping worker cannot miss it.
    std::atomic<bool> paused{false};
    std::atomic<bool> stop{false};
    std::atomic<uint32_t> limit{RD_NO_LIMIT};
    std::atomic<int32_t> vis{RD_VIS_SIM}; // stored and read by UI threads only; relaxed
    std::atomic<bool> idle{false};        // the worker sleeps (paused or at the limit)
    uint32_t shown = 0;                   // the frame thread's own

    // The runner's one lock, held briefly: by the worker while it swaps,
    // normalises and applies queued edits, by rd_advance while it copies the
    // field, and by the UI while it queues an edit. No iteration ever runs
    // under it.
    std::mutex lock;
    // The idle worker sleeps on this until resumed, stopped or given edits.
    std::condition_variable wake;
    std::vector<rd__paint_s> paints; // guarded by lock, in request order
    bool randomize_pending = false;  // guarded by lock; applied before paints

    // Builds the flow picture off the UI thread so the window opens at once.
    std::thread preparer;
    // Iterates the solver until stop; started by the preparer.
    std::thread worker;
};

static const char* rd__visNames[RD_VIS_COUNT] = {"sim", "etf", "orient", "source", "scales"};

// ---- Field to grey ---------------------------------------------------------

uint32_t rd__field_grey(float v) {
    float g = (v + 1.0f) * 127.5f;
    // Written so that not-a-number falls to 255.
    if (!(g <= 255.0f))
        g = 255.0f;
    if (g < 0.0f)
        g = 0.0f;
    const uint32_t c = (uint32_t)g;
    return 0xFF000000u | c << 16 | c << 8 | c;
}

void rd__field_to_grey(const float* field, uint32_t* pixels, size_t n) {
    // rd__field_grey, spelled so that the compiler vectorises it: the
    // comparisons keep not-a-number at 255, and the clamped value converts
    // through a signed integer, which vector instructions have.
    for (size_t i = 0; i < n; i++) {
        float g = (field[i] + 1.0f) * 127.5f;
        g = g <= 255.0f ? g : 255.0f;
        g = g < 0.0f ? 0.0f : g;
        const uint32_t c = (uint32_t)(int32_t)g;
        pixels[i] = 0xFF000000u | c << 16 | c << 8 | c;
    }
}

// ---- Worker ----------------------------------------------------------------

// Applies the queued edits; the caller holds lock and no iteration runs.
static void rd__applyEdits(rd_s* rd) {
    if (rd->randomize_pending) {
        rd->solver->randomize();
        rd->randomize_pending = false;
    }
    float* cur = rd->solver->cur;
    for (const rd__paint_s& p : rd->paints)
        cur[p.index] = p.value;
    rd->paints.clear();
}

static bool rd__hasEdits(const rd_s* rd) {
    return rd->randomize_pending || !rd->paints.empty();
}

static bool rd__atLimit(const rd_s* rd) {
    return rd->iterations.load() >= rd->limit.load();
}

static void rd__work(rd_s* rd) {
    while (!rd->stop.load()) {
        if (rd->paused.load() || rd__atLimit(rd)) {
            std::unique_lock<std::mutex> hold(rd->lock);
            rd__applyEdits(rd);
            rd->idle.store(true);
            rd->wake.wait(hold, [rd] {
                return rd->stop.load() || rd__hasEdits(rd) ||
                       (!rd->paused.load() && !rd__atLimit(rd));
            });
            rd->idle.store(false);
            continue;
        }
        rd->solver->update_tiles();
        std::lock_guard<std::mutex> hold(rd->lock);
        rd->solver->finish_iteration();
        rd__applyEdits(rd);
        rd->iterations.fetch_add(1);
    }
}

// Wakes an idle worker after a flag changed. Taking the lock first orders the
// change before the worker's recheck, so the wake-up cannot be lost.
static void rd__poke(rd_s* rd) {
    { std::lock_guard<std::mutex> hold(rd->lock); }
    rd->wake.notify_all();
}

// ---- Preparation -----------------------------------------------------------

static void rd__prepareSteps(rd_s* rd) {
    gr_complex* cx = rd->solver->complex;
    for (int i = 0; i < 16; i++) {
        if (!gr_complex_compute_etf(cx, 5))
            throw std::bad_alloc();
        rd->progress.store((float)i * 0.0625f);
    }
    // The flow is final: only the tangents are read from here on.
    gr_complex_release_tensor(cx, false);
    gr_image_s* noise = gr_image_create(rd->width, rd->height);
    if (!noise)
        throw std::bad_alloc();
    uint32_t* px = gr_image_pixels_lock(noise);
    const size_t n = (size_t)rd->width * (size_t)rd->height;
    for (size_t i = 0; i < n; i++) {
        const uint32_t v = (uint32_t)std::rand() & 255u;
        px[i] = 0xFF000000u | v << 16 | v << 8 | v;
    }
    gr_image_pixels_unlock(noise, true);
    rd->flow = gr_filter_LIC(noise, cx, 7, 1);
    // The noise only makes the flow visible.
    gr_image_release(noise);
    if (!rd->flow)
        throw std::bad_alloc();
    // Radii and tangents are final: lay out every cell's ellipses once, so
    // that iterations sum rows instead of scanning. Without the memory for it
    // the worker scans, slowly but correctly.
    if (!rd->solver->prepare_runs())
        app_log_to(rd->log, "Simulation: no memory for the ellipse runs; scanning instead\n");
    // The runs hold what the iterations need of the tangents.
    rd->solver->release_analysis();
    rd->progress.store(1.0f);
    // The worker starts first, so a runner whose worker cannot start never
    // claims to be ready; rd_advance and the edits wait for ready anyway.
    rd->worker = std::thread(rd__work, rd);
    rd->ready.store(true);
}

// Exceptions end here: a runner that cannot prepare stays unready and says so.
static void rd__prepare(rd_s* rd) {
    try {
        rd__prepareSteps(rd);
    } catch (const std::exception& e) {
        app_log_to(rd->log, "Simulation preparation failed: %s\n", e.what());
        rd->failed.store(true);
    } catch (...) {
        app_log_to(rd->log, "Simulation preparation failed\n");
        rd->failed.store(true);
    }
}

// ---- Lifecycle -------------------------------------------------------------

static void rd__free(rd_s* rd) {
    gr_image_release(rd->source);
    gr_image_release(rd->display);
    gr_image_release(rd->flow);
    delete rd->solver;
    delete rd;
}

rd_s* rd_create(gr_image_s* image) {
    return rd_create_logged(image, app_log_stderr());
}

rd_s* rd_create_logged(gr_image_s* image, app_log_sink_s log) {
    if (!image || gr_image_get_width(image) == 0 || gr_image_get_height(image) == 0)
        return nullptr;
    rd_s* rd = nullptr;
    try {
        rd = new rd_s();
        rd->log = log;
        rd->width = (int32_t)gr_image_get_width(image);
        rd->height = (int32_t)gr_image_get_height(image);
        rd->source = gr_image_retain(image);
        rd->display = gr_image_create(rd->width, rd->height);
        if (!rd->display)
            throw std::bad_alloc();
        rd->solver = new reaction_diffusion2<float>(rd->width, rd->height);
        rd->solver->log = log;
        if (!rd->solver->set_reference(image))
            throw std::bad_alloc();
        rd->preparer = std::thread(rd__prepare, rd);
    } catch (const std::exception& e) {
        app_log_to(log, "Cannot start the simulation: %s\n", e.what());
        if (rd)
            rd__free(rd);
        return nullptr;
    }
    return rd;
}

void rd_destroy(rd_s* rd) {
    if (!rd)
        return;
    if (rd->preparer.joinable())
        rd->preparer.join();
    if (rd->worker.joinable()) {
        rd->stop.store(true);
        rd__poke(rd);
        rd->worker.join();
    }
    rd__free(rd);
}

// ---- Publishing ------------------------------------------------------------

void rd_advance(rd_s* rd) {
    if (rd->paused.load() || !rd->ready.load() || rd->iterations.load() == rd->shown)
        return;
    uint32_t* px = gr_image_pixels_lock(rd->display);
    {
        std::lock_guard<std::mutex> hold(rd->lock);
        // Read under the lock: the count that matches the field copied.
        rd->shown = rd->iterations.load();
        rd__field_to_grey(rd->solver->cur, px, (size_t)rd->width * (size_t)rd->height);
    }
    gr_image_pixels_unlock(rd->display, true);
}

gr_image_s* rd_get_result(rd_s* rd) {
    return gr_image_retain(rd->display);
}

// ---- State for the view ----------------------------------------------------

void rd_set_vis(rd_s* rd, rd_vis_t vis) {
    rd->vis.store(vis, std::memory_order_relaxed);
}

rd_vis_t rd_get_vis(const rd_s* rd) {
    return (rd_vis_t)rd->vis.load(std::memory_order_relaxed);
}

const char** rd_vis_names(void) {
    return rd__visNames;
}

bool rd_is_ready(const rd_s* rd) {
    return rd->ready.load();
}

bool rd_has_failed(const rd_s* rd) {
    return rd->failed.load();
}

float rd_get_progress(const rd_s* rd) {
    return rd->progress.load();
}

uint32_t rd_get_iterations(const rd_s* rd) {
    return rd->iterations.load();
}

uint32_t rd_get_shown(const rd_s* rd) {
    return rd->shown;
}

void rd_set_paused(rd_s* rd, bool paused) {
    rd->paused.store(paused);
    rd__poke(rd);
}

bool rd_is_paused(const rd_s* rd) {
    return rd->paused.load();
}

void rd_set_limit(rd_s* rd, uint32_t iterations) {
    rd->limit.store(iterations);
    rd__poke(rd);
}

void rd_get_size(const rd_s* rd, int32_t* width, int32_t* height) {
    *width = rd->width;
    *height = rd->height;
}

gr_image_s* rd_get_source(rd_s* rd) {
    return rd->source;
}

gr_image_s* rd_get_display(rd_s* rd) {
    return rd->display;
}

gr_image_s* rd_get_flow(rd_s* rd) {
    return rd->ready.load() ? rd->flow : nullptr;
}

// ---- Edits -----------------------------------------------------------------

bool rd_paint_noise(rd_s* rd, int32_t x, int32_t y) {
    if (!rd->ready.load())
        return false;
    const int R = RD_PAINT_RADIUS;
    try {
        std::lock_guard<std::mutex> hold(rd->lock);
        rd->paints.reserve(rd->paints.size() + (2 * R + 1) * (2 * R + 1));
        for (int dy = -R; dy <= R; dy++) {
            const int64_t row = (int64_t)y + dy;
            for (int dx = -R; dx <= R; dx++) {
                const int64_t col = (int64_t)x + dx;
                if (row < 0 || row >= rd->height || col < 0 || col >= rd->width ||
                    dx * dx + dy * dy > 224)
                    continue;
                rd->paints.push_back({(int32_t)(row * rd->width + col), 2.0f * frand() - 1.0f});
            }
        }
    } catch (const std::bad_alloc&) {
        return false; // the queue could not grow: this stroke is dropped whole
    }
    rd->wake.notify_all();
    return true;
}

bool rd_randomize(rd_s* rd) {
    if (!rd->ready.load())
        return false;
    {
        std::lock_guard<std::mutex> hold(rd->lock);
        // The whole field is replaced, so earlier paints would be lost anyway.
        rd->paints.clear();
        rd->randomize_pending = true;
    }
    rd->wake.notify_all();
    return true;
}

// ---- Internal --------------------------------------------------------------

bool rd__runner_idle(const rd_s* rd) {
    return rd->idle.load();
}

unsigned long rd__runner_pending(rd_s* rd) {
    std::lock_guard<std::mutex> hold(rd->lock);
    return rd->paints.size() + (rd->randomize_pending ? 1 : 0);
}

void rd__runner_copy_field(rd_s* rd, float* out) {
    std::lock_guard<std::mutex> hold(rd->lock);
    const size_t n = (size_t)rd->width * (size_t)rd->height;
    for (size_t i = 0; i < n; i++)
        out[i] = rd->solver->cur[i];
}
