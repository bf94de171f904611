#pragma once
// Helpers shared inside the graphics subsystem. Not for other folders.

#include <cmath>
#include <cstddef>
#include <cstdint>

#include "gr/gr_complex.h"
#include "gr/gr_image.h"

// Largest smoothing radius whose binomial kernel sum (4^r) fits a float.
constexpr int32_t GR__GAUSSIAN_MAX_RADIUS = 63;

// Returns 2r + 1 taps of 1.0, or null when out of memory. Owns: caller (free()).
float* gr__boxCoefficients(int32_t r);

// Returns the binomial coefficients (2r choose k), k = 0 .. 2r; their sum is
// 4^r. Null when out of memory. Owns: caller (free()).
float* gr__gaussianCoefficients(int32_t r);

// Smooths a width x height float plane in place with the binomial kernel of
// radius r, first along x then along y; clamped taps repeat the border sample.
// Scratch is a few rows, never a second plane. Returns false when out of
// memory; the plane is then unspecified.
bool gr__gaussianConvolve(int32_t width, int32_t height, float* plane, int32_t r);

// ---- row bands ----------------------------------------------------------------------

// Band count that lets gr__parallel_rows choose: four bands per pool thread, or
// one on a single-thread pool.
constexpr int32_t GR__BANDS_AUTO = 0;

// A per-row stage: computes rows [y0, y1) of its output and writes nothing
// else, so that bands may run at once. ctx is handed back as given.
typedef void (*gr__rows_fn)(void* ctx, int32_t y0, int32_t y1);

// Returns how many bands gr__parallel_rows makes of height rows when asked for
// bands (>= 0, or GR__BANDS_AUTO): at least 1, at most height.
int32_t gr__band_count(int32_t height, int32_t bands);

// Runs fn over consecutive bands covering rows [0, height) as tasks on the
// dispatch pool and returns once all have returned; their writes are then
// visible to the caller. A single band runs on the caller and leaves the pool
// alone, which is how the filters force a single-thread run. Stages whose rows
// are computed independently give the same values for every band count.
// Thread: any, a pool worker too (its wait runs queued work meanwhile).
void gr__parallel_rows(int32_t height, int32_t bands, gr__rows_fn fn, void* ctx);

// Smooths like gr__gaussianConvolve, split into bands (GR__BANDS_AUTO or a
// count); every band count gives the same values. False when out of memory.
bool gr__gaussianConvolveBands(int32_t width, int32_t height, float* plane, int32_t r,
                               int32_t bands);

// ---- flow analysis and line filters ------------------------------------------------------

// Which kernels the flow stages run.
enum gr__path_t {
    // Flow weights in single precision and the streamline filters on
    // interleaved planes, on the widest kernels this processor runs (eight
    // pixels at once with AVX2, and FMA for the flow). What the public
    // functions use.
    GR__PATH_FAST,
    // The same arithmetic on the kernels that every x86-64 runs.
    GR__PATH_PORTABLE,
    // The straightforward loops: a double-precision tanh per flow sample,
    // clamped taps, one plane lookup at a time. The baseline the fast kernels
    // are measured and checked against.
    GR__PATH_REFERENCE,
};

// Largest gradient magnitude (either sign) the fast flow weights take; a field
// holding any larger (or not a number) makes the pass take the reference path.
constexpr float GR__FLOW_WEIGHT_RANGE = 20.0f;

// Returns the flow weight (1 + tanh(mj - mi)) / 2 as the fast kernels form it:
// 1 / (1 + e^(2 mi) e^(-2 mj)), with e^(2 mi) = 1 / e^(-2 mi) and each
// exponential by gr__expf. Valid for |mi| and |mj| up to GR__FLOW_WEIGHT_RANGE;
// the analysis makes magnitudes below 1.
float gr__flow_weight(float mi, float mj);

// Returns e^x for x in [-87, 88] within 2 units in the last place, by a
// polynomial the fast kernels evaluate 8 lanes at a time.
float gr__expf(float x);

// Computes the structure tensor like gr_complex_compute_sst (full) or
// gr_complex_compute_tangents (not full), its row stages split into bands
// (GR__BANDS_AUTO or a count; every count gives the same values). False when
// out of memory. Thread: progress runs on the caller's.
bool gr__complex_sst(gr_complex* cx, int32_t radius, gr_complex_progress_cb progress, void* user,
                     int32_t bands, bool full = true);

// Runs one edge-tangent-flow pass of radius >= 0 like gr_complex_compute_etf,
// on the given kernels, split into bands (GR__BANDS_AUTO or a count). For one
// path every band count gives the same field. False when out of memory, the
// tangents left as they were.
bool gr__complex_etf(gr_complex* cx, int32_t radius, gr__path_t path, int32_t bands);

// The straightforward pass: double-precision tanh per sample, one thread.
inline bool gr__complex_etf_reference(gr_complex* cx, int32_t radius) {
    return gr__complex_etf(cx, radius, GR__PATH_REFERENCE, 1);
}

// The tangent planes px, py blended bilinearly from the corners at i00 (top
// left), i10, i01 and i11 with fractions fx, fy, then renormalised (a zero
// blend stays zero). Both tangent samplers use it, so they agree bit for bit.
inline void gr__tangent_blend(const float* px, const float* py, size_t i00, size_t i10, size_t i01,
                              size_t i11, float fx, float fy, float* tx, float* ty) {
    const float top_x = px[i00] + (px[i10] - px[i00]) * fx;
    const float top_y = py[i00] + (py[i10] - py[i00]) * fx;
    const float bot_x = px[i01] + (px[i11] - px[i01]) * fx;
    const float bot_y = py[i01] + (py[i11] - py[i01]) * fx;
    float vx = top_x + (bot_x - top_x) * fy;
    float vy = top_y + (bot_y - top_y) * fy;
    const float len = std::sqrt(vx * vx + vy * vy);
    if (len > 0.0f) {
        vx /= len;
        vy /= len;
    }
    *tx = vx;
    *ty = vy;
}

// gr_filter_fDoG on the given kernels and bands. Every path and band count
// gives the same image for the same analysis. Owns: caller.
gr_image_s* gr__filter_fDoG(gr_image_s* image, const gr_complex* cx, int32_t inner_radius,
                            int32_t outer_radius, int32_t flow_steps, int32_t cross_steps,
                            float tau, float threshold, gr__path_t path, int32_t bands);

// gr_filter_LIC on the given kernels and bands. Every path and band count gives
// the same image for the same analysis. Owns: caller.
gr_image_s* gr__filter_LIC(gr_image_s* image, const gr_complex* cx, int32_t flow_steps,
                           int32_t cross_steps, gr__path_t path, int32_t bands);
