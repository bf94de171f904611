#pragma once
// The simulation runner: owns a reaction-diffusion solver steered by one
// image, prepares the image's edge flow on a thread of its own, then iterates
// the solver on a worker thread (tiles on the dispatch pool) until destroyed,
// and publishes the field as an opaque grey image.
//
// Thread: one UI side (create, advance, edits, pause, destroy) at a time, as
// the window's context lock or a single-threaded program guarantees. Edits the
// UI requests are queued and applied by the worker between iterations; the UI
// never waits for an iteration.

#include <cstdint>

#include "app/app_log.h"
#include "gr/gr_image.h"

typedef struct rd_s rd_s;

// What the simulation view shows.
enum rd_vis_t : int32_t {
    RD_VIS_SIM = 0,    // "sim": the published field
    RD_VIS_ETF = 1,    // "etf": the flow picture
    RD_VIS_ORIENT = 2, // "orient": nothing
    RD_VIS_SOURCE = 3, // "source": the source image
    RD_VIS_SCALES = 4, // "scales": nothing
};

// Number of visualisation modes (entries of rd_vis_names).
constexpr int RD_VIS_COUNT = 5;

// No iteration limit (rd_set_limit).
constexpr uint32_t RD_NO_LIMIT = 0xFFFFFFFFu;

// Radius the painted noise disc stays under, in cells.
constexpr int RD_PAINT_RADIUS = 15;

// ---- Lifecycle -------------------------------------------------------------

// Starts a runner on the image (retained): computes the structure tensor on
// the calling thread, then prepares the flow on a thread of its own and
// returns at once, not ready yet. Returns null for a null or empty image, or
// when memory or the thread cannot be had. Diagnostics ("SST: n%", timings,
// failures) go to standard error. Owns: caller (rd_destroy).
rd_s* rd_create(gr_image_s* image);

// Starts a runner like rd_create with its diagnostics sent to log instead
// (a sink without fn silences them). Thread: log is called from the calling
// thread and, later, from the preparation thread.
rd_s* rd_create_logged(gr_image_s* image, app_log_sink_s log);

// Waits for the preparation (it is not interrupted), stops and joins the
// worker (after at most one more iteration), releases the images and frees
// the runner. Null is ignored.
void rd_destroy(rd_s* rd);

// ---- Publishing ------------------------------------------------------------

// Copies the newest field into the display image when an iteration completed
// since the last copy and the runner is not paused; otherwise does nothing.
// Field value v becomes grey (v + 1) * 127.5, clamped, truncated. Thread: the
// frame thread (the one that draws the display image).
void rd_advance(rd_s* rd);

// Returns the display image (the field as last published by rd_advance, or
// its initial transparent black before that) with one more reference.
// Owns: caller (gr_image_release).
gr_image_s* rd_get_result(rd_s* rd);

// ---- State for the view ----------------------------------------------------

// Stores the visualisation mode; no other effect.
void rd_set_vis(rd_s* rd, rd_vis_t vis);

// Returns the visualisation mode last stored (RD_VIS_SIM at first).
rd_vis_t rd_get_vis(const rd_s* rd);

// Returns the RD_VIS_COUNT mode names "sim", "etf", "orient", "source",
// "scales" (no terminating null entry). Owns: the runner module (static).
const char** rd_vis_names(void);

// Returns true once the flow is prepared and the worker runs.
bool rd_is_ready(const rd_s* rd);

// Returns true when preparation or the worker could not run (out of memory or
// threads); such a runner never becomes ready. Diagnostics went to app_log.
bool rd_has_failed(const rd_s* rd);

// Returns the preparation progress, 0..1 (1 once the flow picture exists).
float rd_get_progress(const rd_s* rd);

// Returns the number of completed iterations.
uint32_t rd_get_iterations(const rd_s* rd);

// Returns the iteration count last published by rd_advance.
// Thread: the one calling rd_advance.
uint32_t rd_get_shown(const rd_s* rd);

// Pauses or resumes: while paused the worker idles (applying queued edits)
// and rd_advance publishes nothing.
void rd_set_paused(rd_s* rd, bool paused);
bool rd_is_paused(const rd_s* rd);

// Lets the worker idle once `iterations` iterations have completed, as if
// paused but still publishing (0 holds it before the first; RD_NO_LIMIT, the
// default, runs on). Meant for rendering a fixed number of iterations.
void rd_set_limit(rd_s* rd, uint32_t iterations);

// Writes the grid size (the source image's size).
void rd_get_size(const rd_s* rd, int32_t* width, int32_t* height);

// Return the source image, the display image, and the flow picture (null until
// ready). Borrowed: retain to keep them beyond the runner.
gr_image_s* rd_get_source(rd_s* rd);
gr_image_s* rd_get_display(rd_s* rd);
gr_image_s* rd_get_flow(rd_s* rd);

// ---- Edits from the view (applied between iterations) ----------------------

// Paints fresh noise (2 frand() - 1 per cell, row by row) into the disc of
// cells within dx^2 + dy^2 <= 224 of cell (x, y), skipping cells off the grid.
// Returns false, painting nothing, before the runner is ready.
// Thread: main (frand's thread).
bool rd_paint_noise(rd_s* rd, int32_t x, int32_t y);

// Restarts the field from uniform noise, keeping the scales and the flow.
// Returns false, changing nothing, before the runner is ready.
bool rd_randomize(rd_s* rd);
