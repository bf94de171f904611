#pragma once
// Structure analysis of one image: per pixel the brightness gradient, its
// magnitude, the smoothed structure tensor, its two eigenvalues and a unit
// tangent that runs along edges (the direction of least change). A first pass
// computes all of them; further passes smooth the tangents into a coherent
// edge tangent flow.
//
// Thread: the object has no lock. Concurrent readers are fine once the last
// pass has returned; nothing may read while a pass runs.

#include <cstdint>

#include "app/app_log.h"
#include "gr/gr_image.h"

// Progress callback: user is handed back as given, fraction runs 0..1.
typedef void (*gr_complex_progress_cb)(void* user, float fraction);

// Every array holds width * height floats, row-major, top row first, and one
// spare zero past the end (the line filters' wide kernels may read it), owned
// by the object. They are uninitialised until the first compute.
class gr_complex {
public:
    gr_image_s* image;   // analysed image; borrowed, alive until compute returns
    int32_t width;       // image width at creation
    int32_t height;      // image height at creation
    float* grad_mag;     // sqrt(gx^2 + gy^2)
    float* grad_x;       // horizontal brightness derivative gx
    float* grad_y;       // vertical brightness derivative gy
    float* tensor_xx;    // E: gx^2, then smoothed
    float* tensor_yy;    // G: gy^2, then smoothed
    float* tensor_xy;    // F: gx * gy, then smoothed
    float* tangent_x;    // x of the unit tangent
    float* tangent_y;    // y of the unit tangent
    float* lambda_minor; // smaller eigenvalue of the smoothed tensor
    float* lambda_major; // larger eigenvalue of the smoothed tensor
    app_log_sink_s log;  // where compute reports its time; standard error at creation
    // The flow passes' padded planes, kept from one pass to the next so that
    // each pass does not take fresh memory; freed with the tensor or the
    // object.
    float* flow_scratch = nullptr;
    size_t flow_scratch_floats = 0;

    // Sizes the arrays to the image (null where memory ran out); nothing is
    // computed yet.
    explicit gr_complex(gr_image_s* image);
    ~gr_complex();
    gr_complex(const gr_complex&) = delete;
    gr_complex& operator=(const gr_complex&) = delete;

    // Computes every array from the image (radius >= 0 smooths the tensor).
    // False when out of memory.
    bool compute(int radius, gr_complex_progress_cb progress, void* user);
    // Runs one edge-tangent-flow pass of radius >= 0 over the tangents. False
    // when out of memory, the tangents left as they were.
    bool etf_step(int radius);
    // Returns a new grey image of the eigenvalues times a radial vignette.
    gr_image_s* weightImage(float a, float b);
};

// ---- lifecycle -----------------------------------------------------------------

// Returns a new analysis sized to the image, arrays allocated but not computed,
// or null when out of memory. The image is borrowed, not retained.
// Owns: caller (gr_complex_destroy).
gr_complex* gr_complex_create(gr_image_s* image);

// Frees the arrays and the object; null is ignored. The image is not released.
void gr_complex_destroy(gr_complex* cx);

// ---- passes ----------------------------------------------------------------------

// Computes gradients, the tensor smoothed with the binomial kernel of radius
// (>= 0), eigenvalues and tangents; the flow restarts from the raw eigenvector
// field. Calls progress(user, f) with 0.0, 0.333, 0.666, 1.0 when progress is
// not null, then logs the elapsed time ("Complex compute took %g seconds.\n")
// to the analysis's log sink. Returns false when out of memory; the arrays
// then hold no usable analysis. Thread: progress runs on the caller's.
bool gr_complex_compute_sst(gr_complex* cx, int32_t radius, gr_complex_progress_cb progress,
                            void* user);

// Computes the tangents and the gradient magnitude as gr_complex_compute_sst
// does, bit for bit, and keeps nothing else: the other arrays end freed, as
// after gr_complex_release_tensor(cx, true), and at most five planes are alive
// at once (the full analysis holds eleven). False when out of memory; the
// analysis is then unusable. Thread: progress runs on the caller's.
bool gr_complex_compute_tangents(gr_complex* cx, int32_t radius, gr_complex_progress_cb progress,
                                 void* user);

// Replaces the tangents with one edge-tangent-flow pass over a square window
// of radius >= 0. Callers loop for several passes. Returns false when out of
// memory, the tangents left as they were.
bool gr_complex_compute_etf(gr_complex* cx, int32_t radius);

// Frees what only the structure tensor's readers need once the tangents are
// computed: the gradients, the tensor, the eigenvalues and the flow passes'
// scratch, and the gradient magnitude too unless keep_magnitude (flow passes
// need it). The tangent
// reads, flow passes (with the magnitude) and line filters work as before;
// the freed arrays become null, gr_complex_gradmag and the eigenvalues of
// gr_complex_tensor read 0, and gr_complex_compute_sst,
// gr_complex_compute_tangents and gr_complex_weight_image must not follow.
void gr_complex_release_tensor(gr_complex* cx, bool keep_magnitude);

// Sets where the analysis reports its timings (standard error at creation); a
// sink without fn silences them.
void gr_complex_set_log(gr_complex* cx, app_log_sink_s log);

// ---- reads -------------------------------------------------------------------------

// Writes the width and height of the analysed image.
void gr_complex_dims(const gr_complex* cx, int32_t* width, int32_t* height);

// Returns the gradient magnitude at (x, y), clamped into the image.
float gr_complex_gradmag(const gr_complex* cx, int32_t x, int32_t y);

// Writes the unit tangent at (x, y), clamped into the image.
void gr_complex_tangent(const gr_complex* cx, int32_t x, int32_t y, float* tx, float* ty);

// Writes the tangent and both eigenvalues at (x, y), clamped into the image.
void gr_complex_tensor(const gr_complex* cx, int32_t x, int32_t y, float* tx, float* ty,
                       float* lambda_minor, float* lambda_major);

// Writes the tangent field sampled bilinearly at (x, y), clamped into the
// image, renormalised to unit length unless it is zero. Corners are not
// sign-aligned.
void gr_complex_tangent_sample(const gr_complex* cx, float* tx, float* ty, float x, float y);

// Returns a new opaque grey image: the normalised eigenvalue strength blended
// by a toward 1, times a radial vignette blended by b toward 1; null when out
// of memory. Owns: caller.
gr_image_s* gr_complex_weight_image(gr_complex* cx, float a, float b);
