#pragma once
// The engine behind the GIMP plug-in's procedures, on 8-bit pictures: the
// pattern grown headless, the pattern in the preview window, and the line
// drawing. Each runs the same library calls, with the same defaults, as the
// spotweave program's render, view and lines commands, so a picture gives the
// same result in GIMP as on the command line.
//
// Thread: the plug-in's main thread (the preview window's modal loop runs on
// it); the engine spreads its own work over the dispatch pool.

#include <cstddef>
#include <cstdint>

#include "gr/gr_image.h"

// Settings of the pattern: what the non-interactive run takes and what
// "repeat" runs again. Plain data, stored as is in GIMP's per-procedure data.
struct swg_pattern_s {
    int32_t iterations = 160; // solver iterations, 1..100000
    int32_t max_side = 1024;  // longest side simulated at, 16..8192
};

// Settings of the line drawing, defaults as the plug-in module draws it.
struct swg_lines_s {
    int32_t sst_radius = 3;    // structure tensor smoothing radius, 0..63
    int32_t etf_passes = 3;    // edge-tangent-flow passes, 0..100
    int32_t etf_radius = 5;    // edge-tangent-flow window radius, 0..32
    int32_t inner_radius = 5;  // inner (line) blur radius, 0..63
    int32_t outer_radius = 8;  // outer (surround) blur radius, 0..63
    int32_t flow_steps = 8;    // unit steps each way along the flow, 0..63
    int32_t cross_steps = 2;   // unit steps each way across the flow, 0..63
    float tau = 0.98f;         // weight of the outer blur, 0..2
    float threshold = 0.9999f; // line threshold on 1 + tanh(response), 0..2
};

// Longest side the preview window simulates at; larger pictures are scaled
// down for it and the pattern scaled back.
constexpr uint32_t SWG_PREVIEW_MAX_SIDE = 1024;

// Progress of a run: fraction (0..1) of the whole run, and what it does now.
typedef void (*swg_progress_fn)(void* user, const char* stage, float fraction);

// Returns true when every setting lies in its range; otherwise writes which one
// does not, and its range, into error (size bytes) and returns false.
bool swg_pattern_check(const swg_pattern_s* settings, char* error, size_t size);
bool swg_lines_check(const swg_lines_s* settings, char* error, size_t size);

// Grows the pattern out of picture headless: scaled down to max_side, edge
// flow prepared, the solver run iterations times, the grey pattern scaled back
// to the picture's size. Returns null when memory or threads run out.
// progress may be null. Owns: caller.
gr_image_s* swg_pattern_render(gr_image_s* picture, const swg_pattern_s* settings,
                               swg_progress_fn progress, void* user);

// Opens the preview window on picture (simulated at SWG_PREVIEW_MAX_SIDE at
// most) and returns 1 when OK produced a pattern, with *result at the
// picture's size; 0 for Cancel, a closed window or OK before the first
// pattern; -1 when no window can be opened (the window said why on standard
// error) or memory runs out. Owns: caller (*result).
int swg_pattern_preview(gr_image_s* picture, gr_image_s** result);

// Draws picture as coherent black lines on white. Returns null when memory
// runs out. progress may be null. Owns: caller.
gr_image_s* swg_lines_draw(gr_image_s* picture, const swg_lines_s* settings,
                           swg_progress_fn progress, void* user);
