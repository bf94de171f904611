// Line filters along the edge tangent flow: streamline tracing, the flow-based
// and the isotropic difference of Gaussians, line integral convolution.
//
// The per-pixel work is a function of a row range [y0, y1) with its own
// streamline buffers, run in bands on the dispatch pool. Each streamline filter
// has the straightforward kernel, which samples through the analysis and the
// image one lookup at a time, and a fast one that reads interleaved planes
// (the line drawing's two brightness planes as pairs, or a colour as the four
// lanes of one SSE vector; the tangent as a pair), eight neighbouring pixels at
// a time where the processor has AVX2 and FMA. Every lane computes exactly what
// the straightforward kernel does, so all of them give the same image bit for
// bit, with one exception: the line drawing's eight-pixel kernel fuses its
// interpolations and sums into multiply-adds, which round once where the
// others round twice; only a response within rounding of the threshold can
// come out the other colour.

#include "gr/gr_filter_flow.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdlib>
#include <cstring>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "app/app_assert.h"
#include "gr/gr_color.h"
#include "gr/gr_internal.h"
#include "gr/gr_memory.h"

static constexpr uint32_t GR__WHITE = 0xFFFFFFFFu;
static constexpr uint32_t GR__BLACK = 0xFF000000u;

// ---- streamlines --------------------------------------------------------------------------

// Positions and tangents of one streamline of half-length steps: index steps is
// the pixel itself, higher indices lie forward along the flow, lower backward.
struct gr__streamline_s {
    int32_t steps;
    float* px;
    float* py;
    float* tx;
    float* ty;
};

static gr__streamline_s gr__streamline_create(int32_t steps) {
    const size_t n = size_t(2 * steps + 1);
    float* block = static_cast<float*>(std::malloc(sizeof(float) * 4 * n));
    return {steps, block, block + n, block + 2 * n, block + 3 * n};
}

static void gr__streamline_destroy(gr__streamline_s* line) {
    std::free(line->px);
}

// Traces unit steps from (x, y) forward and backward. Each step follows the
// sampled tangent as it is; positions may leave the image (lookups clamp).
static void gr__streamline_trace(const gr_complex* cx, gr__streamline_s* line, float x, float y) {
    const int32_t s = line->steps;
    float px = x, py = y, tx, ty;
    for (int32_t k = s; k <= 2 * s; k++) {
        gr_complex_tangent_sample(cx, &tx, &ty, px, py);
        line->px[k] = px;
        line->py[k] = py;
        line->tx[k] = tx;
        line->ty[k] = ty;
        px += tx;
        py += ty;
    }
    gr_complex_tangent_sample(cx, &tx, &ty, x, y);
    px = x - tx;
    py = y - ty;
    for (int32_t k = s - 1; k >= 0; k--) {
        gr_complex_tangent_sample(cx, &tx, &ty, px, py);
        line->px[k] = px;
        line->py[k] = py;
        line->tx[k] = tx;
        line->ty[k] = ty;
        px -= tx;
        py -= ty;
    }
}

// ---- brightness planes ----------------------------------------------------------------------

struct gr__brightness_s {
    const uint32_t* pixels;
    int32_t width;
    float* plane;
};

static void gr__brightness_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__brightness_s* job = static_cast<const gr__brightness_s*>(ctx);
    const size_t w = size_t(job->width);
    for (size_t i = size_t(y0) * w; i < size_t(y1) * w; i++)
        job->plane[i] = gr_color_brightness(job->pixels[i]);
}

// Writes the image's brightness to plane (width x height floats).
static void gr__brightness_fill(gr_image_s* image, float* plane, int32_t bands) {
    const int32_t w = int32_t(gr_image_get_width(image));
    const int32_t h = int32_t(gr_image_get_height(image));
    gr__brightness_s job = {gr_image_pixels_lock(image), w, plane};
    gr__parallel_rows(h, bands, gr__brightness_rows, &job);
    gr_image_pixels_unlock(image, false);
}

// Returns a new plane of the image's brightness (one spare entry keeps it
// non-empty), or null when out of memory. Owns: caller (free()).
static float* gr__brightness_plane(gr_image_s* image, int32_t bands) {
    const size_t n = size_t(gr_image_get_width(image)) * size_t(gr_image_get_height(image));
    float* plane = static_cast<float*>(gr_memory_alloc(sizeof(float) * (n + 1)));
    if (plane)
        gr__brightness_fill(image, plane, bands);
    return plane;
}

static float* gr__plane_copy(const float* plane, int32_t width, int32_t height) {
    const size_t n = size_t(width) * size_t(height) + 1;
    float* copy = static_cast<float*>(gr_memory_alloc(sizeof(float) * n));
    if (copy)
        std::memcpy(copy, plane, sizeof(float) * n);
    return copy;
}

// Bilinear taps of (qx, qy) clamped into a width x height plane.
struct gr__taps_s {
    size_t i00, i10, i01, i11;
    float fx, fy;
};

static gr__taps_s gr__taps(int32_t width, int32_t height, float qx, float qy) {
    // fmax/fmin also send a not-a-number coordinate to the border.
    qx = std::fmin(std::fmax(qx, 0.0f), float(width - 1));
    qy = std::fmin(std::fmax(qy, 0.0f), float(height - 1));
    const int32_t x0 = int32_t(qx), y0 = int32_t(qy);
    const int32_t x1 = std::min(x0 + 1, width - 1), y1 = std::min(y0 + 1, height - 1);
    const size_t r0 = size_t(y0) * size_t(width), r1 = size_t(y1) * size_t(width);
    return {r0 + size_t(x0), r0 + size_t(x1), r1 + size_t(x0),
            r1 + size_t(x1), qx - float(x0),  qy - float(y0)};
}

// Bilinear interpolation, down the two columns first, then across: the order
// in which the line drawing's pairs interpolate both channels at once.
static float gr__lookup(const float* plane, const gr__taps_s& t) {
    const float left = plane[t.i00] + (plane[t.i01] - plane[t.i00]) * t.fy;
    const float right = plane[t.i10] + (plane[t.i11] - plane[t.i10]) * t.fy;
    return left + (right - left) * t.fx;
}

static bool gr__is_white(float h, float threshold) {
    // A not-a-number response fails both tests and stays black.
    return h >= 0.0f || 1.0f + std::tanh(h) >= threshold;
}

// ---- interleaved planes ----------------------------------------------------------------------

// Four lanes of plain SSE arithmetic; each lane rounds exactly as the scalar
// expression it stands for.
typedef float gr__v4f __attribute__((vector_size(16)));
typedef int32_t gr__v4i __attribute__((vector_size(16)));

static inline gr__v4f gr__load4(const float* p) {
    gr__v4f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

// The line drawing's (B0, D) pairs (the unblurred brightness and the
// difference of the two blurs), or the colours as (red, green, blue, alpha)
// quads, or a grey image's one channel, with one more column and row repeating
// the last: the right and lower neighbour of any clamped position can be read
// without a test, and holds the value the clamped read would give. The
// tangents are read where the analysis keeps them.
struct gr__planes_s {
    int32_t width, height;
    int32_t stride; // of the pairs or quads: width + 1
    // The analysis' tangents, width floats a row. The analysis keeps one spare
    // float past each plane, so the right neighbour of the last pixel, which
    // the wide kernels load and then ignore, can be read too.
    const float* tx;
    const float* ty;
    const float* quads; // or pairs, or, for a grey image, one float a pixel
};

// Fills padded rows [y0, y1) of the planes: every lane of the quads from
// colour words, or the one channel of grey words, or lane `lane` of the pairs
// from a plane: B0 itself, the inner blur into D, or tau times the outer blur
// taken off D.
struct gr__interleave_s {
    const float* plane;    // brightness into the pairs, or null
    const uint32_t* words; // colour pixels, or null
    int32_t width, height;
    int lane;      // of the pairs: 0 for B0, 1 for D
    bool subtract; // lane 1 of the pairs: take tau x plane off what D holds
    float tau;
    float* quads;
    bool grey; // words are grey: one channel, one float a pixel
};

// Fills padded row py (0 .. height) from source row min(py, height - 1).
static void gr__interleave_row(const gr__interleave_s* job, int32_t py) {
    const size_t w = size_t(job->width);
    const size_t src = size_t(std::min(py, job->height - 1)) * w;
    const size_t step = job->plane ? 2 : job->grey ? 1 : 4;
    float* q = job->quads + step * size_t(py) * (w + 1);
    for (size_t x = 0; x <= w; x++, q += step) {
        const size_t i = src + std::min(x, w - 1);
        if (job->plane) {
            float& lane = q[job->lane];
            lane = job->subtract ? lane - job->tau * job->plane[i] : job->plane[i];
        } else if (job->grey) {
            q[0] = float(job->words[i] & 0xFF);
        } else {
            const uint32_t p = job->words[i];
            q[0] = float((p >> 16) & 0xFF);
            q[1] = float((p >> 8) & 0xFF);
            q[2] = float(p & 0xFF);
            q[3] = float(p >> 24);
        }
    }
}

static void gr__interleave_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__interleave_s* job = static_cast<const gr__interleave_s*>(ctx);
    for (int32_t y = y0; y < y1; y++)
        gr__interleave_row(job, y);
    // The band holding the last row also writes the padding row.
    if (y1 == job->height)
        gr__interleave_row(job, y1);
}

// Returns the number of floats of planes' padded rows of `floats` a pixel
// (width x height > 0 set, and the analysis' tangents), and one spare quad
// past the end, as the wide kernels load two quads at a time.
static size_t gr__planes_size(gr__planes_s* planes, const gr_complex* cx, size_t floats) {
    planes->stride = planes->width + 1;
    planes->tx = cx->tangent_x;
    planes->ty = cx->tangent_y;
    return floats * size_t(planes->stride) * size_t(planes->height + 1) + 4;
}

// Fills planes (width x height > 0) from colour words; grey words (every
// pixel's red, green and blue alike) fill one channel instead of quads.
// Returns the block to free() afterwards, or null when out of memory.
static float* gr__planes_fill(gr__planes_s* planes, const gr_complex* cx, const uint32_t* words,
                              int32_t bands, bool grey) {
    float* block = static_cast<float*>(
        gr_memory_alloc(sizeof(float) * gr__planes_size(planes, cx, grey ? 1 : 4)));
    if (!block)
        return nullptr;
    gr__interleave_s job = {nullptr, words, planes->width, planes->height, 0, false,
                            0.0f,    block, grey};
    gr__parallel_rows(planes->height, bands, gr__interleave_rows, &job);
    planes->quads = block;
    return block;
}

// Fills the pairs of planes (width x height > 0) with the brightness of image
// (B0) and D = B1 - tau B2, the brightness blurred with inner_radius less tau
// times the brightness blurred with outer_radius. Interpolating D gives, up to
// rounding, the difference of the interpolated blurs, at half the reads. One
// plane of scratch at a time: the brightness, then each blur made in place
// and spread into D. Returns the block to free() afterwards, or null when out
// of memory.
static float* gr__pairs_fill(gr__planes_s* planes, const gr_complex* cx, gr_image_s* image,
                             int32_t inner_radius, int32_t outer_radius, float tau, int32_t bands) {
    float* block =
        static_cast<float*>(gr_memory_alloc(sizeof(float) * gr__planes_size(planes, cx, 2)));
    float* plane = block ? gr__brightness_plane(image, bands) : nullptr;
    bool ok = plane != nullptr;
    gr__interleave_s job = {plane, nullptr, planes->width, planes->height, 0,
                            false, tau,     block,         false};
    for (int pass = 0; ok && pass < 3; pass++) {
        if (pass > 0) {
            // The blurs start over from the brightness, which the last one
            // overwrote.
            gr__brightness_fill(image, plane, bands);
            ok = gr__gaussianConvolveBands(planes->width, planes->height, plane,
                                           pass == 1 ? inner_radius : outer_radius, bands);
        }
        job.lane = pass == 0 ? 0 : 1;
        job.subtract = pass == 2;
        if (ok)
            gr__parallel_rows(planes->height, bands, gr__interleave_rows, &job);
    }
    std::free(plane);
    if (!ok) {
        std::free(block);
        return nullptr;
    }
    planes->quads = block;
    return block;
}

// std::fmin(std::fmax(v, 0), hi) without the library calls; not a number
// becomes 0 as there.
static inline float gr__clamp_up(float v, float hi) {
    v = v > 0.0f ? v : 0.0f;
    return v < hi ? v : hi;
}

// std::fmax(std::fmin(v, hi), 0) without the library calls; not a number
// becomes hi as there.
static inline float gr__clamp_down(float v, float hi) {
    v = v < hi ? v : hi;
    return v > 0.0f ? v : 0.0f;
}

// gr_complex_tangent_sample with the wide kernels' steps: the same clamping,
// interpolation order and renormalisation.
static inline void gr__tangent_at(const gr__planes_s* p, float x, float y, float* tx, float* ty) {
    x = gr__clamp_up(x, float(p->width - 1));
    y = gr__clamp_up(y, float(p->height - 1));
    // Non-negative after the clamp, so truncation is the floor; the ceiling is
    // one more unless the coordinate is whole.
    const int32_t x0 = int32_t(x), y0 = int32_t(y);
    const float fx = x - float(x0), fy = y - float(y0);
    const size_t w = size_t(p->width);
    const size_t i00 = size_t(y0) * w + size_t(x0), i10 = i00 + (fx > 0.0f);
    const size_t i01 = i00 + (fy > 0.0f ? w : 0), i11 = i01 + (fx > 0.0f);
    gr__tangent_blend(p->tx, p->ty, i00, i10, i01, i11, fx, fy, tx, ty);
}

// gr__lookup at gr__taps of both channels of the pairs at once: the two
// columns as one quad each, interpolated down, then across. The padding stands
// in for the clamped right and lower neighbours.
static inline void gr__pair_at(const gr__planes_s* p, float qx, float qy, float* b0, float* d) {
    qx = gr__clamp_up(qx, float(p->width - 1));
    qy = gr__clamp_up(qy, float(p->height - 1));
    const int32_t x0 = int32_t(qx), y0 = int32_t(qy);
    const float fx = qx - float(x0), fy = qy - float(y0);
    const float* r0 = p->quads + 2 * (size_t(y0) * size_t(p->stride) + size_t(x0));
    const gr__v4f top = gr__load4(r0), bottom = gr__load4(r0 + 2 * size_t(p->stride));
    const gr__v4f sides = top + (bottom - top) * fy; // left B0, left D, right B0, right D
    *b0 = sides[0] + (sides[2] - sides[0]) * fx;
    *d = sides[1] + (sides[3] - sides[1]) * fx;
}

// Truncates each lane toward zero, as the 8-bit colour interpolation does.
static inline gr__v4f gr__truncate4(gr__v4f v) {
    return __builtin_convertvector(__builtin_convertvector(v, gr__v4i), gr__v4f);
}

// gr_image_sample on the colour quads: the same clamping, and each of the three
// interpolations truncated to whole channel values. A whole coordinate reads
// the next column or row with weight 0, which adds nothing to whole,
// non-negative channel values.
static inline gr__v4f gr__colour_at(const gr__planes_s* p, float x, float y) {
    x = gr__clamp_down(x, float(p->width - 1));
    y = gr__clamp_down(y, float(p->height - 1));
    const int32_t x0 = int32_t(x), y0 = int32_t(y);
    const float fx = x - float(x0), fy = y - float(y0);
    const float* r0 = p->quads + 4 * (size_t(y0) * size_t(p->stride) + size_t(x0));
    const float* r1 = r0 + 4 * size_t(p->stride);
    const gr__v4f c00 = gr__load4(r0), c10 = gr__load4(r0 + 4);
    const gr__v4f c01 = gr__load4(r1), c11 = gr__load4(r1 + 4);
    const gr__v4f top = gr__truncate4(c00 + (c10 - c00) * fx);
    const gr__v4f bottom = gr__truncate4(c01 + (c11 - c01) * fx);
    return gr__truncate4(top + (bottom - top) * fy);
}

// Traces the streamline of (x, y) like gr__streamline_trace and calls
// point(k, px, py, tx, ty) for each of its points, forward from the pixel
// first, then backward.
template <class Point>
static inline void gr__trace_fast(const gr__planes_s* p, int32_t steps, float x, float y,
                                  Point&& point) {
    float px = x, py = y, tx, ty, t0x = 0.0f, t0y = 0.0f;
    for (int32_t k = steps; k <= 2 * steps; k++) {
        gr__tangent_at(p, px, py, &tx, &ty);
        if (k == steps) {
            t0x = tx;
            t0y = ty;
        }
        point(k, px, py, tx, ty);
        px += tx;
        py += ty;
    }
    // The backward walk starts one step against the pixel's own tangent.
    px = x - t0x;
    py = y - t0y;
    for (int32_t k = steps - 1; k >= 0; k--) {
        gr__tangent_at(p, px, py, &tx, &ty);
        point(k, px, py, tx, ty);
        px -= tx;
        py -= ty;
    }
}

// ---- flow-based difference of Gaussians ----------------------------------------------------

struct gr__fdog_s {
    const gr_complex* cx;
    int32_t width, height;
    // Straightforward kernel only (the fast ones read the pairs):
    const float* b0; // unblurred brightness: weights the cross samples
    const float* d;  // inner blur less tau times the outer blur
    const float* km; // along-flow binomial, radius flow_steps
    const float* kc; // across-flow binomial, radius cross_steps
    int32_t flow_steps, cross_steps;
    float threshold;
    gr__planes_s planes; // fast kernel only
    uint32_t* out;
    mutable std::atomic<bool> failed{false}; // a band found no memory for its scratch
};

static float gr__kernel_total(const float* k, int32_t r) {
    float sum = 0.0f;
    for (int32_t i = 0; i <= 2 * r; i++)
        sum += k[i];
    return sum;
}

// The straightforward kernel: trace, then sample the two planes through the
// clamped taps, one plane and one point at a time.
static void gr__fdog_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__fdog_s* job = static_cast<const gr__fdog_s*>(ctx);
    const int32_t s = job->flow_steps, m = job->cross_steps;
    const float km_sum = gr__kernel_total(job->km, s);
    gr__streamline_s line = gr__streamline_create(s);
    if (!line.px) {
        job->failed.store(true);
        return;
    }
    for (int32_t y = y0; y < y1; y++) {
        for (int32_t x = 0; x < job->width; x++) {
            gr__streamline_trace(job->cx, &line, float(x), float(y));
            float h = 0.0f;
            for (int32_t k = 0; k <= 2 * s; k++) {
                float num = 0.0f, den = 0.0f;
                for (int32_t c = -m; c <= m; c++) {
                    // c pixels along the local gradient, across the flow.
                    const float qx = line.px[k] + float(c) * line.ty[k];
                    const float qy = line.py[k] - float(c) * line.tx[k];
                    const gr__taps_s t = gr__taps(job->width, job->height, qx, qy);
                    const float weight = job->kc[m + c] * gr__lookup(job->b0, t);
                    num += gr__lookup(job->d, t) * weight;
                    den += weight;
                }
                h += job->km[k] * (num / den);
            }
            h /= km_sum;
            job->out[size_t(y) * size_t(job->width) + size_t(x)] =
                gr__is_white(h, job->threshold) ? GR__WHITE : GR__BLACK;
        }
    }
    gr__streamline_destroy(&line);
}

// The same response from the pairs: each cross section is summed
// as soon as its streamline point is traced, the points in order afterwards.
// section holds 2 flow_steps + 1 floats.
static uint32_t gr__fdog_pixel(const gr__fdog_s* job, int32_t x, int32_t y, float* section) {
    const int32_t s = job->flow_steps, m = job->cross_steps;
    const float* kc = job->kc + m;
    gr__trace_fast(&job->planes, s, float(x), float(y),
                   [&](int32_t k, float px, float py, float tx, float ty) {
                       float num = 0.0f, den = 0.0f;
                       for (int32_t c = -m; c <= m; c++) {
                           float b0, d;
                           gr__pair_at(&job->planes, px + float(c) * ty, py - float(c) * tx, &b0,
                                       &d);
                           const float weight = kc[c] * b0;
                           num += d * weight;
                           den += weight;
                       }
                       section[k] = num / den;
                   });
    float h = 0.0f;
    for (int32_t k = 0; k <= 2 * s; k++)
        h += job->km[k] * section[k];
    h /= gr__kernel_total(job->km, s);
    return gr__is_white(h, job->threshold) ? GR__WHITE : GR__BLACK;
}

static void gr__fdog_fast_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__fdog_s* job = static_cast<const gr__fdog_s*>(ctx);
    float* section =
        static_cast<float*>(std::malloc(sizeof(float) * size_t(2 * job->flow_steps + 1)));
    if (!section) {
        job->failed.store(true);
        return;
    }
    for (int32_t y = y0; y < y1; y++)
        for (int32_t x = 0; x < job->width; x++)
            job->out[size_t(y) * size_t(job->width) + size_t(x)] =
                gr__fdog_pixel(job, x, y, section);
    std::free(section);
}

// ---- line integral convolution ---------------------------------------------------------------

struct gr__lic_s {
    const gr_complex* cx;
    const gr_image_s* image;
    int32_t width;
    const float* kc; // across-flow binomial, radius cross_steps
    int32_t flow_steps, cross_steps;
    gr__planes_s planes; // fast kernel only
    uint32_t* out;
    mutable std::atomic<bool> failed{false}; // a band found no memory for its scratch
};

// Returns whether every pixel's red, green and blue are alike.
static bool gr__is_grey(const uint32_t* words, size_t n) {
    uint32_t odd = 0;
    for (size_t i = 0; i < n; i++) {
        const uint32_t p = words[i];
        odd |= ((p >> 16) ^ p) | ((p >> 8) ^ p);
    }
    return (odd & 0xFF) == 0;
}

static uint32_t gr__lic_word(float r, float g, float b, float inv_points) {
    const uint32_t ir = std::min(uint32_t(r * inv_points), 255u);
    const uint32_t ig = std::min(uint32_t(g * inv_points), 255u);
    const uint32_t ib = std::min(uint32_t(b * inv_points), 255u);
    return 0xFF000000u | ir << 16 | ig << 8 | ib;
}

// The straightforward kernel: trace, then sample the image through
// gr_image_sample.
static void gr__lic_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__lic_s* job = static_cast<const gr__lic_s*>(ctx);
    const int32_t s = job->flow_steps, m = job->cross_steps;
    const float inv_points = 1.0f / float(2 * s + 1);
    gr__streamline_s line = gr__streamline_create(s);
    if (!line.px) {
        job->failed.store(true);
        return;
    }
    for (int32_t y = y0; y < y1; y++) {
        for (int32_t x = 0; x < job->width; x++) {
            gr__streamline_trace(job->cx, &line, float(x), float(y));
            float r = 0.0f, g = 0.0f, b = 0.0f;
            for (int32_t k = 0; k <= 2 * s; k++) {
                float pr = 0.0f, pg = 0.0f, pb = 0.0f, weight = 0.0f;
                for (int32_t c = -m; c <= m; c++) {
                    const float qx = line.px[k] + float(c) * line.ty[k];
                    const float qy = line.py[k] - float(c) * line.tx[k];
                    const gr_color_t p = gr_image_sample(job->image, qx, qy);
                    const float kw = job->kc[m + c];
                    pr += float((p >> 16) & 0xFF) * kw;
                    pg += float((p >> 8) & 0xFF) * kw;
                    pb += float(p & 0xFF) * kw;
                    weight += kw;
                }
                const float inv = 1.0f / weight;
                r += pr * inv;
                g += pg * inv;
                b += pb * inv;
            }
            job->out[size_t(y) * size_t(job->width) + size_t(x)] =
                gr__lic_word(r, g, b, inv_points);
        }
    }
    gr__streamline_destroy(&line);
}

// The same colours from the interleaved planes, red, green and blue in three
// lanes; the points' colours are averaged in order once the line is traced.
// colours holds 2 flow_steps + 1 vectors.
static uint32_t gr__lic_pixel(const gr__lic_s* job, int32_t x, int32_t y, gr__v4f* colours) {
    const int32_t s = job->flow_steps, m = job->cross_steps;
    const float* kc = job->kc + m;
    gr__trace_fast(
        &job->planes, s, float(x), float(y),
        [&](int32_t k, float px, float py, float tx, float ty) {
            gr__v4f sum = {};
            float weight = 0.0f;
            for (int32_t c = -m; c <= m; c++) {
                sum += gr__colour_at(&job->planes, px + float(c) * ty, py - float(c) * tx) * kc[c];
                weight += kc[c];
            }
            colours[k] = sum * (1.0f / weight);
        });
    gr__v4f total = {};
    for (int32_t k = 0; k <= 2 * s; k++)
        total += colours[k];
    return gr__lic_word(total[0], total[1], total[2], 1.0f / float(2 * s + 1));
}

static void gr__lic_fast_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__lic_s* job = static_cast<const gr__lic_s*>(ctx);
    gr__v4f* colours =
        static_cast<gr__v4f*>(std::malloc(sizeof(gr__v4f) * size_t(2 * job->flow_steps + 1)));
    if (!colours) {
        job->failed.store(true);
        return;
    }
    for (int32_t y = y0; y < y1; y++)
        for (int32_t x = 0; x < job->width; x++)
            job->out[size_t(y) * size_t(job->width) + size_t(x)] =
                gr__lic_pixel(job, x, y, colours);
    std::free(colours);
}

// ---- eight pixels at a time ------------------------------------------------------------------

#if defined(__x86_64__)
// The fast kernels' arithmetic for eight neighbouring pixels of a row, one per
// lane of the AVX registers. Multiply-adds are fused only where written so
// (the line drawing's samples): elsewhere every lane rounds exactly as the
// scalar code does. Plane reads are per lane: two quads (a pixel and its right
// neighbour), or a pixel's pair and its right neighbour's, in one load, then a
// transposition into one register per channel; two neighbouring floats of a
// single plane in one load, then a shuffle.

#define GR__WIDE __attribute__((target("avx2,fma")))
#define GR__WIDE_INLINE __attribute__((target("avx2,fma"), always_inline)) inline

static bool gr__cpu_wide(void) {
    static const bool wide = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return wide;
}

// Per-call constants of the wide kernels.
struct gr__wide_s {
    __m256 xmax, ymax; // width - 1, height - 1
    __m256i stride;    // the quads' row stride
    __m256i stride2;   // twice that
    __m256i width;     // the tangents' row stride
};

GR__WIDE_INLINE static gr__wide_s gr__wide(const gr__planes_s* p) {
    return {_mm256_set1_ps(float(p->width - 1)), _mm256_set1_ps(float(p->height - 1)),
            _mm256_set1_epi32(p->stride), _mm256_set1_epi32(2 * p->stride),
            _mm256_set1_epi32(p->width)};
}

// Writes the eight lanes of v (non-negative) to out for scalar reads, taken
// straight from the register as four 64-bit halves: the plane reads that use
// them wait for no store to forward. The caller's array stays in registers.
GR__WIDE_INLINE static void gr__lanes_out(__m256i v, uint32_t out[8]) {
    const __m128i lo = _mm256_castsi256_si128(v), hi = _mm256_extracti128_si256(v, 1);
    const uint64_t q[4] = {uint64_t(_mm_cvtsi128_si64(lo)), uint64_t(_mm_extract_epi64(lo, 1)),
                           uint64_t(_mm_cvtsi128_si64(hi)), uint64_t(_mm_extract_epi64(hi, 1))};
    for (int l = 0; l < 4; l++) {
        out[2 * l] = uint32_t(q[l]);
        out[2 * l + 1] = uint32_t(q[l] >> 32);
    }
}

// Rows r[l] hold lane l in their low half and lane l + 4 in their high half;
// c[j] gets element j of every lane, lanes in order.
GR__WIDE_INLINE static void gr__transpose8(const __m256 r[4], __m256 c[4]) {
    const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
    const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
    c[0] = _mm256_shuffle_ps(t0, t2, 0x44);
    c[1] = _mm256_shuffle_ps(t0, t2, 0xEE);
    c[2] = _mm256_shuffle_ps(t1, t3, 0x44);
    c[3] = _mm256_shuffle_ps(t1, t3, 0xEE);
}

// Lanes l and l + 4 of v, each repeated over its half: an in-lane shuffle.
template <int l> GR__WIDE_INLINE static __m256 gr__spread8(__m256 v) {
    return _mm256_permute_ps(v, l * 0x55);
}

// Entries i and i + 1 of a plane (the grey channel, or a tangent component)
// for the eight lane offsets a (plus off): *left gets entry i of each lane,
// *right entry i + 1. Two floats per
// lane in one load, then one shuffle per four lanes.
GR__WIDE_INLINE static void gr__grey_pairs(const float* g, const uint32_t a[8], size_t off,
                                           __m256* left, __m256* right) {
    auto pair = [ g, off ](uint32_t at) __attribute__((always_inline)) {
        return reinterpret_cast<const double*>(g + size_t(at) + off);
    };
    auto two = [&](int l0, int l1) __attribute__((always_inline)) {
        // Pairs sit at any float boundary: loads that allow it.
        return _mm_loadh_pi(
            _mm_castsi128_ps(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(pair(a[l0])))),
            reinterpret_cast<const __m64*>(pair(a[l1])));
    };
    // Lanes 0, 1 | 4, 5 and 2, 3 | 6, 7, each as its (i, i + 1) pair.
    const __m256 p = _mm256_insertf128_ps(_mm256_castps128_ps256(two(0, 1)), two(4, 5), 1);
    const __m256 q = _mm256_insertf128_ps(_mm256_castps128_ps256(two(2, 3)), two(6, 7), 1);
    *left = _mm256_shuffle_ps(p, q, 0x88);
    *right = _mm256_shuffle_ps(p, q, 0xDD);
}

// Clamps eight positions into the image as gr__clamp_up does (maxps gives its
// second operand for not a number) and splits them into the cell's corner and
// the fractions.
GR__WIDE_INLINE static void gr__cell8(const gr__wide_s& k, __m256 x, __m256 y, __m256i* x0,
                                      __m256i* y0, __m256* fx, __m256* fy) {
    const __m256 zero = _mm256_setzero_ps();
    x = _mm256_min_ps(_mm256_max_ps(x, zero), k.xmax);
    y = _mm256_min_ps(_mm256_max_ps(y, zero), k.ymax);
    *x0 = _mm256_cvttps_epi32(x);
    *y0 = _mm256_cvttps_epi32(y);
    *fx = x - _mm256_cvtepi32_ps(*x0);
    *fy = y - _mm256_cvtepi32_ps(*y0);
}

// gr__tangent_at for eight positions.
GR__WIDE_INLINE static void gr__tangent8(const gr__planes_s* p, const gr__wide_s& k, __m256 x,
                                         __m256 y, __m256* tx, __m256* ty) {
    const __m256 zero = _mm256_setzero_ps();
    __m256i x0, y0;
    __m256 fx, fy;
    gr__cell8(k, x, y, &x0, &y0, &fx, &fy);
    // Where a coordinate is whole the ceiling is the floor itself: the right
    // neighbour read there is dropped by the blend, the row below not read.
    const __m256 right = _mm256_cmp_ps(fx, zero, _CMP_GT_OQ);
    const __m256 down = _mm256_cmp_ps(fy, zero, _CMP_GT_OQ);
    const __m256i i0 = _mm256_add_epi32(_mm256_mullo_epi32(y0, k.width), x0);
    const __m256i i1 = _mm256_add_epi32(i0, _mm256_and_si256(_mm256_castps_si256(down), k.width));
    uint32_t a0[8], a1[8];
    gr__lanes_out(i0, a0);
    gr__lanes_out(i1, a1);
    __m256 x00, x10, y00, y10, x01, x11, y01, y11;
    gr__grey_pairs(p->tx, a0, 0, &x00, &x10);
    gr__grey_pairs(p->ty, a0, 0, &y00, &y10);
    gr__grey_pairs(p->tx, a1, 0, &x01, &x11);
    gr__grey_pairs(p->ty, a1, 0, &y01, &y11);
    const __m256 top_rx = _mm256_blendv_ps(x00, x10, right);
    const __m256 top_ry = _mm256_blendv_ps(y00, y10, right);
    const __m256 bot_rx = _mm256_blendv_ps(x01, x11, right);
    const __m256 bot_ry = _mm256_blendv_ps(y01, y11, right);
    const __m256 top_x = x00 + (top_rx - x00) * fx, top_y = y00 + (top_ry - y00) * fx;
    const __m256 bot_x = x01 + (bot_rx - x01) * fx, bot_y = y01 + (bot_ry - y01) * fx;
    const __m256 vx = top_x + (bot_x - top_x) * fy, vy = top_y + (bot_y - top_y) * fy;
    const __m256 len = _mm256_sqrt_ps(vx * vx + vy * vy);
    const __m256 unit = _mm256_cmp_ps(len, zero, _CMP_GT_OQ);
    *tx = _mm256_blendv_ps(vx, vx / len, unit);
    *ty = _mm256_blendv_ps(vy, vy / len, unit);
}

// The quad whose offset in 8-byte units (twice its index) is half, in the
// plane row starting at base: one load of the offset, and an address the
// load itself scales.
GR__WIDE_INLINE static const float* gr__quad_ptr(const char* base, uint32_t half) {
    return reinterpret_cast<const float*>(base + 8 * size_t(half));
}

// Interpolates the colour quads of lanes l and l + 4 (doubled plane indices
// a[l], a[l + 4]) into v[l], one lane in each half, truncating as
// gr__colour_at does; row0 is the quads' start, row1 one row further.
template <int l>
GR__WIDE_INLINE static void gr__quad_lanes(const char* row0, const char* row1, const uint32_t* a,
                                           __m256 fx, __m256 fy, __m256 v[4]) {
    const float* lo0 = gr__quad_ptr(row0, a[l]);
    const float* hi0 = gr__quad_ptr(row0, a[l + 4]);
    const float* lo1 = gr__quad_ptr(row1, a[l]);
    const float* hi1 = gr__quad_ptr(row1, a[l + 4]);
    const __m256 p00 = _mm256_loadu2_m128(hi0, lo0), p10 = _mm256_loadu2_m128(hi0 + 4, lo0 + 4);
    const __m256 p01 = _mm256_loadu2_m128(hi1, lo1), p11 = _mm256_loadu2_m128(hi1 + 4, lo1 + 4);
    const __m256 fxl = gr__spread8<l>(fx), fyl = gr__spread8<l>(fy);
    const __m256 top = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(p00 + (p10 - p00) * fxl));
    const __m256 bottom = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(p01 + (p11 - p01) * fxl));
    v[l] = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(top + (bottom - top) * fyl));
}

// gr__colour_at for eight positions; out gets the first three channels.
GR__WIDE_INLINE static void gr__quads8(const gr__planes_s* p, const gr__wide_s& k, __m256 x,
                                       __m256 y, __m256 out[3]) {
    const __m256 zero = _mm256_setzero_ps();
    x = _mm256_max_ps(_mm256_min_ps(x, k.xmax), zero);
    y = _mm256_max_ps(_mm256_min_ps(y, k.ymax), zero);
    const __m256i x0 = _mm256_cvttps_epi32(x), y0 = _mm256_cvttps_epi32(y);
    const __m256 fx = x - _mm256_cvtepi32_ps(x0), fy = y - _mm256_cvtepi32_ps(y0);
    // Twice the indices: unsigned, they stay exact up to the 2^31 quads that
    // plain indices allow.
    uint32_t half[8];
    gr__lanes_out(_mm256_add_epi32(_mm256_mullo_epi32(y0, k.stride2), _mm256_add_epi32(x0, x0)),
                  half);
    const char* row0 = reinterpret_cast<const char*>(p->quads);
    const char* row1 = row0 + sizeof(float) * 4 * size_t(p->stride);
    __m256 v[4];
    gr__quad_lanes<0>(row0, row1, half, fx, fy, v);
    gr__quad_lanes<1>(row0, row1, half, fx, fy, v);
    gr__quad_lanes<2>(row0, row1, half, fx, fy, v);
    gr__quad_lanes<3>(row0, row1, half, fx, fy, v);
    __m256 c[4];
    gr__transpose8(v, c);
    out[0] = c[0];
    out[1] = c[1];
    out[2] = c[2];
}

// gr__pair_at for lanes l and l + 4 (pair indices a[l], a[l + 4]): one load a
// row gives a lane's two columns, interpolated down; swapping the columns
// within each half then interpolates across. v[l] holds lane l's (B0, D) in
// its low two floats and lane l + 4's in those of its high half.
template <int l>
GR__WIDE_INLINE static void gr__pair_lanes(const char* row0, const char* row1, const uint32_t* a,
                                           __m256 fx, __m256 fy, __m256 v[4]) {
    const __m256 top = _mm256_loadu2_m128(gr__quad_ptr(row0, a[l + 4]), gr__quad_ptr(row0, a[l]));
    const __m256 bottom =
        _mm256_loadu2_m128(gr__quad_ptr(row1, a[l + 4]), gr__quad_ptr(row1, a[l]));
    const __m256 sides = _mm256_fmadd_ps(bottom - top, gr__spread8<l>(fy), top);
    const __m256 swapped = _mm256_permute_ps(sides, 0x4E); // right B0, right D, left B0, left D
    v[l] = _mm256_fmadd_ps(swapped - sides, gr__spread8<l>(fx), sides);
}

// gr__pair_at for eight positions, its interpolations fused.
GR__WIDE_INLINE static void gr__pairs8(const gr__planes_s* p, const gr__wide_s& k, __m256 x,
                                       __m256 y, __m256* b0, __m256* d) {
    __m256i x0, y0;
    __m256 fx, fy;
    gr__cell8(k, x, y, &x0, &y0, &fx, &fy);
    // A pair is eight bytes: its index is the offset gr__quad_ptr scales.
    uint32_t a[8];
    gr__lanes_out(_mm256_add_epi32(_mm256_mullo_epi32(y0, k.stride), x0), a);
    const char* row0 = reinterpret_cast<const char*>(p->quads);
    const char* row1 = row0 + sizeof(float) * 2 * size_t(p->stride);
    __m256 v[4];
    gr__pair_lanes<0>(row0, row1, a, fx, fy, v);
    gr__pair_lanes<1>(row0, row1, a, fx, fy, v);
    gr__pair_lanes<2>(row0, row1, a, fx, fy, v);
    gr__pair_lanes<3>(row0, row1, a, fx, fy, v);
    // Lanes 0, 1 | 4, 5 and 2, 3 | 6, 7 as (B0, D) pairs, then each channel.
    const __m256 p01 =
        _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(v[0]), _mm256_castps_pd(v[1])));
    const __m256 p23 =
        _mm256_castpd_ps(_mm256_unpacklo_pd(_mm256_castps_pd(v[2]), _mm256_castps_pd(v[3])));
    *b0 = _mm256_shuffle_ps(p01, p23, 0x88);
    *d = _mm256_shuffle_ps(p01, p23, 0xDD);
}

// gr__colour_at on a grey plane (one float a pixel) for eight positions:
// the same clamping, interpolation and truncations, on one channel, which a
// grey image's three channels all equal.
GR__WIDE_INLINE static __m256 gr__grey8(const gr__planes_s* p, const gr__wide_s& k, __m256 x,
                                        __m256 y) {
    const __m256 zero = _mm256_setzero_ps();
    x = _mm256_max_ps(_mm256_min_ps(x, k.xmax), zero);
    y = _mm256_max_ps(_mm256_min_ps(y, k.ymax), zero);
    const __m256i x0 = _mm256_cvttps_epi32(x), y0 = _mm256_cvttps_epi32(y);
    const __m256 fx = x - _mm256_cvtepi32_ps(x0), fy = y - _mm256_cvtepi32_ps(y0);
    uint32_t a[8];
    gr__lanes_out(_mm256_add_epi32(_mm256_mullo_epi32(y0, k.stride), x0), a);
    __m256 p00, p10, p01, p11;
    gr__grey_pairs(p->quads, a, 0, &p00, &p10);
    gr__grey_pairs(p->quads, a, size_t(p->stride), &p01, &p11);
    const __m256 top = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(p00 + (p10 - p00) * fx));
    const __m256 bottom = _mm256_cvtepi32_ps(_mm256_cvttps_epi32(p01 + (p11 - p01) * fx));
    return _mm256_cvtepi32_ps(_mm256_cvttps_epi32(top + (bottom - top) * fy));
}

// The first pixel's index plus 0 .. 7, as floats.
GR__WIDE_INLINE static __m256 gr__lanes8(int32_t first) {
    return _mm256_cvtepi32_ps(
        _mm256_add_epi32(_mm256_set1_epi32(first), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
}

// gr__trace_fast for G groups of eight pixels from (x, y) on, the groups in
// step so that their chains of dependent lookups overlap:
// point(g, i, px, py, tx, ty) per group and streamline point.
template <int G, class Point>
GR__WIDE_INLINE static void gr__trace8(const gr__planes_s* p, const gr__wide_s& k, int32_t steps,
                                       int32_t x, int32_t y, const Point& point) {
    __m256 px[G], py[G], tx[G], ty[G], t0x[G], t0y[G];
    for (int g = 0; g < G; g++) {
        px[g] = gr__lanes8(x + 8 * g);
        py[g] = _mm256_set1_ps(float(y));
        t0x[g] = t0y[g] = _mm256_setzero_ps();
    }
    for (int32_t i = steps; i <= 2 * steps; i++) {
        for (int g = 0; g < G; g++)
            gr__tangent8(p, k, px[g], py[g], &tx[g], &ty[g]);
        for (int g = 0; g < G; g++) {
            if (i == steps) {
                t0x[g] = tx[g];
                t0y[g] = ty[g];
            }
            point(g, i, px[g], py[g], tx[g], ty[g]);
            px[g] = px[g] + tx[g];
            py[g] = py[g] + ty[g];
        }
    }
    for (int g = 0; g < G; g++) {
        px[g] = gr__lanes8(x + 8 * g) - t0x[g];
        py[g] = _mm256_set1_ps(float(y)) - t0y[g];
    }
    for (int32_t i = steps - 1; i >= 0; i--) {
        for (int g = 0; g < G; g++)
            gr__tangent8(p, k, px[g], py[g], &tx[g], &ty[g]);
        for (int g = 0; g < G; g++) {
            point(g, i, px[g], py[g], tx[g], ty[g]);
            px[g] = px[g] - tx[g];
            py[g] = py[g] - ty[g];
        }
    }
}

// Groups of eight pixels whose streamlines are traced side by side at most.
constexpr int GR__GROUPS = 4;

// Wide storage for GR__GROUPS groups of 2 flow_steps + 1 points of count
// vectors.
static __m256* gr__wide_points(int32_t flow_steps, int count) {
    return static_cast<__m256*>(std::aligned_alloc(32, sizeof(__m256) * GR__GROUPS * size_t(count) *
                                                           size_t(2 * flow_steps + 1)));
}

// gr__trace8 into pts (four vectors a point: px, py, tx, ty), then
// point(g, i, px, py, tx, ty) for every point. Apart, the tracing is nothing
// but the groups' chains of dependent lookups, which overlap, and the samples
// that follow depend on nothing but their point, so they overlap as well;
// interleaved, each step of a chain waited for the samples before it.
template <int G, class Point>
GR__WIDE_INLINE static void gr__trace_then8(const gr__planes_s* p, const gr__wide_s& k,
                                            int32_t steps, int32_t x, int32_t y, __m256* pts,
                                            const Point& point) {
    const int32_t n = 2 * steps + 1;
    gr__trace8<G>(
        p, k, steps, x, y,
        [ pts, n ](int g, int32_t i, __m256 px, __m256 py, __m256 tx, __m256 ty)
            __attribute__((always_inline)) {
                __m256* q = pts + 4 * (g * n + i);
                q[0] = px;
                q[1] = py;
                q[2] = tx;
                q[3] = ty;
            });
    for (int g = 0; g < G; g++)
        for (int32_t i = 0; i < n; i++) {
            const __m256* q = pts + 4 * (g * n + i);
            point(g, i, q[0], q[1], q[2], q[3]);
        }
}

struct gr__fdog_point8 {
    const gr__fdog_s* job;
    const gr__wide_s* k;
    __m256* section; // per group, 2 flow_steps + 1 responses
    __m256* points;  // per group and point: px, py, tx, ty

    GR__WIDE_INLINE void operator()(int g, int32_t i, __m256 px, __m256 py, __m256 tx,
                                    __m256 ty) const {
        const int32_t m = job->cross_steps;
        __m256 num = _mm256_setzero_ps(), den = _mm256_setzero_ps(), b0, d;
        for (int32_t c = -m; c <= m; c++) {
            const __m256 cf = _mm256_set1_ps(float(c));
            gr__pairs8(&job->planes, *k, px + cf * ty, py - cf * tx, &b0, &d);
            const __m256 weight = _mm256_set1_ps(job->kc[m + c]) * b0;
            num = _mm256_fmadd_ps(d, weight, num);
            den = den + weight;
        }
        section[g * (2 * job->flow_steps + 1) + i] = num / den;
    }
};

// Writes the line drawing of G groups of eight pixels from (x, y) on.
template <int G>
GR__WIDE_INLINE static void gr__fdog_groups(const gr__fdog_point8& point, __m256 km_sum, int32_t x,
                                            int32_t y, uint32_t* out) {
    const gr__fdog_s* job = point.job;
    const int32_t s = job->flow_steps;
    gr__trace_then8<G>(&job->planes, *point.k, s, x, y, point.points, point);
    for (int g = 0; g < G; g++) {
        const __m256* section = point.section + g * (2 * s + 1);
        __m256 h = _mm256_setzero_ps();
        for (int32_t i = 0; i <= 2 * s; i++)
            h = h + _mm256_set1_ps(job->km[i]) * section[i];
        alignas(32) float hv[8];
        _mm256_store_ps(hv, h / km_sum);
        for (int lane = 0; lane < 8; lane++)
            out[x + 8 * g + lane] = gr__is_white(hv[lane], job->threshold) ? GR__WHITE : GR__BLACK;
    }
}

GR__WIDE static void gr__fdog_wide_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__fdog_s* job = static_cast<const gr__fdog_s*>(ctx);
    const int32_t s = job->flow_steps, w = job->width;
    const __m256 km_sum = _mm256_set1_ps(gr__kernel_total(job->km, s));
    const gr__wide_s k = gr__wide(&job->planes);
    __m256* section = gr__wide_points(s, 1);
    __m256* points = gr__wide_points(s, 4);
    float* tail = static_cast<float*>(std::malloc(sizeof(float) * size_t(2 * s + 1)));
    if (!section || !points || !tail) {
        std::free(tail);
        std::free(points);
        std::free(section);
        job->failed.store(true);
        return;
    }
    const gr__fdog_point8 point = {job, &k, section, points};
    for (int32_t y = y0; y < y1; y++) {
        uint32_t* out = job->out + size_t(y) * size_t(w);
        int32_t x = 0;
        for (; x + 32 <= w; x += 32)
            gr__fdog_groups<4>(point, km_sum, x, y, out);
        for (; x + 16 <= w; x += 16)
            gr__fdog_groups<2>(point, km_sum, x, y, out);
        for (; x + 8 <= w; x += 8)
            gr__fdog_groups<1>(point, km_sum, x, y, out);
        for (; x < w; x++)
            out[x] = gr__fdog_pixel(job, x, y, tail);
    }
    std::free(tail);
    std::free(points);
    std::free(section);
}

struct gr__lic_point8 {
    const gr__lic_s* job;
    const gr__wide_s* k;
    __m256* colours; // per group and point: red, green, blue
    __m256* points;  // per group and point: px, py, tx, ty

    GR__WIDE_INLINE void operator()(int g, int32_t i, __m256 px, __m256 py, __m256 tx,
                                    __m256 ty) const {
        const int32_t m = job->cross_steps;
        __m256 r = _mm256_setzero_ps(), gr = r, b = r, c3[3];
        float weight = 0.0f;
        for (int32_t c = -m; c <= m; c++) {
            const __m256 cf = _mm256_set1_ps(float(c));
            gr__quads8(&job->planes, *k, px + cf * ty, py - cf * tx, c3);
            const __m256 kc = _mm256_set1_ps(job->kc[m + c]);
            r = r + c3[0] * kc;
            gr = gr + c3[1] * kc;
            b = b + c3[2] * kc;
            weight += job->kc[m + c];
        }
        const __m256 inv = _mm256_set1_ps(1.0f / weight);
        __m256* out = colours + 3 * (g * (2 * job->flow_steps + 1) + i);
        out[0] = r * inv;
        out[1] = gr * inv;
        out[2] = b * inv;
    }
};

// Writes the convolution of G groups of eight pixels from (x, y) on.
template <int G>
GR__WIDE_INLINE static void gr__lic_groups(const gr__lic_point8& point, int32_t x, int32_t y,
                                           uint32_t* out) {
    const gr__lic_s* job = point.job;
    const int32_t s = job->flow_steps;
    const float inv_points = 1.0f / float(2 * s + 1);
    gr__trace_then8<G>(&job->planes, *point.k, s, x, y, point.points, point);
    for (int g = 0; g < G; g++) {
        const __m256* colours = point.colours + 3 * g * (2 * s + 1);
        __m256 r = _mm256_setzero_ps(), gr = r, b = r;
        for (int32_t i = 0; i <= 2 * s; i++) {
            r = r + colours[3 * i];
            gr = gr + colours[3 * i + 1];
            b = b + colours[3 * i + 2];
        }
        alignas(32) float rv[8], gv[8], bv[8];
        _mm256_store_ps(rv, r);
        _mm256_store_ps(gv, gr);
        _mm256_store_ps(bv, b);
        for (int lane = 0; lane < 8; lane++)
            out[x + 8 * g + lane] = gr__lic_word(rv[lane], gv[lane], bv[lane], inv_points);
    }
}

GR__WIDE static void gr__lic_wide_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__lic_s* job = static_cast<const gr__lic_s*>(ctx);
    const int32_t s = job->flow_steps, w = job->width;
    const gr__wide_s k = gr__wide(&job->planes);
    __m256* colours = gr__wide_points(s, 3);
    __m256* points = gr__wide_points(s, 4);
    gr__v4f* tail = static_cast<gr__v4f*>(std::malloc(sizeof(gr__v4f) * size_t(2 * s + 1)));
    if (!colours || !points || !tail) {
        std::free(tail);
        std::free(points);
        std::free(colours);
        job->failed.store(true);
        return;
    }
    const gr__lic_point8 point = {job, &k, colours, points};
    for (int32_t y = y0; y < y1; y++) {
        uint32_t* out = job->out + size_t(y) * size_t(w);
        int32_t x = 0;
        for (; x + 32 <= w; x += 32)
            gr__lic_groups<4>(point, x, y, out);
        for (; x + 16 <= w; x += 16)
            gr__lic_groups<2>(point, x, y, out);
        for (; x + 8 <= w; x += 8)
            gr__lic_groups<1>(point, x, y, out);
        for (; x < w; x++)
            out[x] = gr__lic_pixel(job, x, y, tail);
    }
    std::free(tail);
    std::free(points);
    std::free(colours);
}
// The convolution of a grey image: one channel, which the word repeats.
struct gr__lic_grey8 {
    const gr__lic_s* job;
    const gr__wide_s* k;
    __m256* values; // per group and point
    __m256* points; // per group and point: px, py, tx, ty

    GR__WIDE_INLINE void operator()(int g, int32_t i, __m256 px, __m256 py, __m256 tx,
                                    __m256 ty) const {
        const int32_t m = job->cross_steps;
        __m256 sum = _mm256_setzero_ps();
        float weight = 0.0f;
        for (int32_t c = -m; c <= m; c++) {
            const __m256 cf = _mm256_set1_ps(float(c));
            sum = sum + gr__grey8(&job->planes, *k, px + cf * ty, py - cf * tx) *
                            _mm256_set1_ps(job->kc[m + c]);
            weight += job->kc[m + c];
        }
        values[g * (2 * job->flow_steps + 1) + i] = sum * _mm256_set1_ps(1.0f / weight);
    }
};

template <int G>
GR__WIDE_INLINE static void gr__lic_grey_groups(const gr__lic_grey8& point, int32_t x, int32_t y,
                                                uint32_t* out) {
    const gr__lic_s* job = point.job;
    const int32_t s = job->flow_steps;
    const float inv_points = 1.0f / float(2 * s + 1);
    gr__trace_then8<G>(&job->planes, *point.k, s, x, y, point.points, point);
    for (int g = 0; g < G; g++) {
        const __m256* values = point.values + g * (2 * s + 1);
        __m256 total = _mm256_setzero_ps();
        for (int32_t i = 0; i <= 2 * s; i++)
            total = total + values[i];
        alignas(32) float tv[8];
        _mm256_store_ps(tv, total);
        for (int lane = 0; lane < 8; lane++)
            out[x + 8 * g + lane] = gr__lic_word(tv[lane], tv[lane], tv[lane], inv_points);
    }
}

// Rows of the convolution of a grey image at least eight pixels wide.
GR__WIDE static void gr__lic_grey_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__lic_s* job = static_cast<const gr__lic_s*>(ctx);
    const int32_t s = job->flow_steps, w = job->width;
    const gr__wide_s k = gr__wide(&job->planes);
    __m256* values = gr__wide_points(s, 1);
    __m256* points = gr__wide_points(s, 4);
    if (!values || !points) {
        std::free(points);
        std::free(values);
        job->failed.store(true);
        return;
    }
    const gr__lic_grey8 point = {job, &k, values, points};
    for (int32_t y = y0; y < y1; y++) {
        uint32_t* out = job->out + size_t(y) * size_t(w);
        int32_t x = 0;
        for (; x + 32 <= w; x += 32)
            gr__lic_grey_groups<4>(point, x, y, out);
        for (; x + 16 <= w; x += 16)
            gr__lic_grey_groups<2>(point, x, y, out);
        for (; x + 8 <= w; x += 8)
            gr__lic_grey_groups<1>(point, x, y, out);
        // The last pixels: the row's last eight (w >= 8), the first of which
        // come out again alike.
        if (x < w)
            gr__lic_grey_groups<1>(point, w - 8, y, out);
    }
    std::free(points);
    std::free(values);
}
#else
static bool gr__cpu_wide(void) {
    return false;
}
static const gr__rows_fn gr__fdog_wide_rows = gr__fdog_fast_rows;
static const gr__rows_fn gr__lic_wide_rows = gr__lic_fast_rows;
static const gr__rows_fn gr__lic_grey_rows = gr__lic_fast_rows;
#endif

// ---- entry points -------------------------------------------------------------------------------

gr_image_s* gr__filter_fDoG(gr_image_s* image, const gr_complex* cx, int32_t inner_radius,
                            int32_t outer_radius, int32_t flow_steps, int32_t cross_steps,
                            float tau, float threshold, gr__path_t path, int32_t bands) {
    SW_ASSERT(inner_radius >= 0 && inner_radius <= GR__GAUSSIAN_MAX_RADIUS && outer_radius >= 0 &&
                  outer_radius <= GR__GAUSSIAN_MAX_RADIUS,
              "blur radius out of range");
    SW_ASSERT(flow_steps >= 0 && flow_steps <= GR__GAUSSIAN_MAX_RADIUS && cross_steps >= 0 &&
                  cross_steps <= GR__GAUSSIAN_MAX_RADIUS,
              "step count out of range");
    const int32_t w = int32_t(gr_image_get_width(image));
    const int32_t h = int32_t(gr_image_get_height(image));
    SW_ASSERT(cx->width == w && cx->height == h, "the analysis belongs to another image size");

    float* km = gr__gaussianCoefficients(flow_steps);
    float* kc = gr__gaussianCoefficients(cross_steps);
    gr__fdog_s job = {cx,
                      w,
                      h,
                      nullptr,
                      nullptr,
                      km,
                      kc,
                      flow_steps,
                      cross_steps,
                      threshold,
                      {w, h, w + 1, nullptr, nullptr, nullptr},
                      nullptr};
    float* b0 = nullptr;
    float* d = nullptr;
    float* block = nullptr;
    bool ok = km && kc;
    if (ok && path == GR__PATH_REFERENCE) {
        b0 = gr__brightness_plane(image, bands);
        d = b0 ? gr__plane_copy(b0, w, h) : nullptr;
        float* outer = b0 ? gr__plane_copy(b0, w, h) : nullptr;
        ok = d && outer && gr__gaussianConvolveBands(w, h, d, inner_radius, bands) &&
             gr__gaussianConvolveBands(w, h, outer, outer_radius, bands);
        for (size_t i = 0; ok && i < size_t(w) * size_t(h); i++)
            d[i] = d[i] - tau * outer[i];
        std::free(outer);
        job.b0 = b0;
        job.d = d;
    } else if (ok && w > 0 && h > 0) {
        block = gr__pairs_fill(&job.planes, cx, image, inner_radius, outer_radius, tau, bands);
        ok = block != nullptr;
    }
    // Made once the scratch plane is gone: the two never take memory together.
    gr_image_s* out = ok ? gr_image_create(w, h) : nullptr;
    ok = out != nullptr;
    if (ok) {
        job.out = gr_image_pixels_lock(out);
        if (path == GR__PATH_REFERENCE) {
            gr__parallel_rows(h, bands, gr__fdog_rows, &job);
        } else if (block) {
            const bool wide = path == GR__PATH_FAST && gr__cpu_wide();
            gr__parallel_rows(h, bands, wide ? gr__fdog_wide_rows : gr__fdog_fast_rows, &job);
        }
        gr_image_pixels_unlock(out, true);
        ok = !job.failed.load();
    }

    std::free(block);
    std::free(kc);
    std::free(km);
    std::free(d);
    std::free(b0);
    if (!ok) {
        gr_image_release(out);
        return nullptr;
    }
    return out;
}

gr_image_s* gr_filter_fDoG(gr_image_s* image, const gr_complex* cx, int32_t inner_radius,
                           int32_t outer_radius, int32_t flow_steps, int32_t cross_steps, float tau,
                           float threshold) {
    return gr__filter_fDoG(image, cx, inner_radius, outer_radius, flow_steps, cross_steps, tau,
                           threshold, GR__PATH_FAST, GR__BANDS_AUTO);
}

gr_image_s* gr__filter_LIC(gr_image_s* image, const gr_complex* cx, int32_t flow_steps,
                           int32_t cross_steps, gr__path_t path, int32_t bands) {
    // The header's range for both: 2 flow_steps + 1 points must not overflow.
    SW_ASSERT(flow_steps >= 0 && flow_steps <= GR__GAUSSIAN_MAX_RADIUS && cross_steps >= 0 &&
                  cross_steps <= GR__GAUSSIAN_MAX_RADIUS,
              "step count out of range");
    const int32_t w = int32_t(gr_image_get_width(image));
    const int32_t h = int32_t(gr_image_get_height(image));
    SW_ASSERT(cx->width == w && cx->height == h, "the analysis belongs to another image size");
    float* kc = gr__gaussianCoefficients(cross_steps);
    gr_image_s* out = gr_image_create(w, h);
    gr__lic_s job = {
        cx,     image, w, kc, flow_steps, cross_steps, {w, h, w + 1, nullptr, nullptr, nullptr},
        nullptr};
    bool ok = kc && out;
    if (ok) {
        job.out = gr_image_pixels_lock(out);
        if (path == GR__PATH_REFERENCE) {
            gr__parallel_rows(h, bands, gr__lic_rows, &job);
        } else if (w > 0 && h > 0) {
            // Read like gr_image_sample reads them: no lock, so no messages.
            const uint32_t* words = image->pixels;
            const bool wide = path == GR__PATH_FAST && gr__cpu_wide();
            // A grey picture (the runner's noise) is convolved in one channel.
            const bool grey = wide && w >= 8 && gr__is_grey(words, size_t(w) * size_t(h));
            float* block = gr__planes_fill(&job.planes, cx, words, bands, grey);
            const gr__rows_fn rows = grey   ? gr__lic_grey_rows
                                     : wide ? gr__lic_wide_rows
                                            : gr__lic_fast_rows;
            if (block)
                gr__parallel_rows(h, bands, rows, &job);
            ok = block != nullptr;
            std::free(block);
        }
        gr_image_pixels_unlock(out, true);
        ok = ok && !job.failed.load();
    }
    std::free(kc);
    if (!ok) {
        gr_image_release(out);
        return nullptr;
    }
    return out;
}

gr_image_s* gr_filter_LIC(gr_image_s* image, const gr_complex* cx, int32_t flow_steps,
                          int32_t cross_steps) {
    return gr__filter_LIC(image, cx, flow_steps, cross_steps, GR__PATH_FAST, GR__BANDS_AUTO);
}

// ---- isotropic difference of Gaussians --------------------------------------------------------

struct gr__dog_s {
    const float* b1;
    const float* b2;
    int32_t width;
    float tau, threshold;
    uint32_t* out;
};

static void gr__dog_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__dog_s* job = static_cast<const gr__dog_s*>(ctx);
    const size_t w = size_t(job->width);
    for (size_t i = size_t(y0) * w; i < size_t(y1) * w; i++)
        job->out[i] = gr__is_white(job->b1[i] - job->tau * job->b2[i], job->threshold) ? GR__WHITE
                                                                                       : GR__BLACK;
}

gr_image_s* gr_filter_DoG(gr_image_s* image, int32_t inner_radius, int32_t outer_radius, float tau,
                          float threshold) {
    SW_ASSERT(inner_radius >= 0 && inner_radius <= GR__GAUSSIAN_MAX_RADIUS && outer_radius >= 0 &&
                  outer_radius <= GR__GAUSSIAN_MAX_RADIUS,
              "blur radius out of range");
    const int32_t w = int32_t(gr_image_get_width(image));
    const int32_t h = int32_t(gr_image_get_height(image));
    float* b1 = gr__brightness_plane(image, GR__BANDS_AUTO);
    float* b2 = b1 ? gr__plane_copy(b1, w, h) : nullptr;
    gr_image_s* out = gr_image_create(w, h);
    const bool ok = b2 && out && gr__gaussianConvolve(w, h, b1, inner_radius) &&
                    gr__gaussianConvolve(w, h, b2, outer_radius);
    if (ok) {
        gr__dog_s job = {b1, b2, w, tau, threshold, gr_image_pixels_lock(out)};
        gr__parallel_rows(h, GR__BANDS_AUTO, gr__dog_rows, &job);
        gr_image_pixels_unlock(out, true);
    }
    std::free(b2);
    std::free(b1);
    if (!ok) {
        gr_image_release(out);
        return nullptr;
    }
    return out;
}
