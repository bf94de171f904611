// Binomial smoothing: the kernel builders, the in-place float-plane
// convolution and the RGBA blur.

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>

#include "app/app_assert.h"
#include "gr/gr_filter.h"
#include "gr/gr_internal.h"

// ---- kernels ------------------------------------------------------------------------

float* gr__boxCoefficients(int32_t r) {
    SW_ASSERT(r >= 0, "radius must not be negative");
    float* c = static_cast<float*>(std::malloc(sizeof(float) * size_t(2 * r + 1)));
    if (!c)
        return nullptr;
    for (int32_t i = 0; i < 2 * r + 1; i++)
        c[i] = 1.0f;
    return c;
}

float* gr__gaussianCoefficients(int32_t r) {
    SW_ASSERT(r >= 0 && r <= GR__GAUSSIAN_MAX_RADIUS, "radius out of range");
    const size_t n = size_t(2 * r + 1);
    float* cur = static_cast<float*>(std::calloc(n, sizeof(float)));
    float* next = static_cast<float*>(std::calloc(n, sizeof(float)));
    if (!cur || !next) {
        std::free(cur);
        std::free(next);
        return nullptr;
    }
    cur[0] = 1.0f;
    // Pascal's triangle, row by row up to row 2r.
    for (int32_t row = 1; row <= 2 * r; row++) {
        next[0] = 1.0f;
        next[row] = 1.0f;
        for (int32_t j = 1; j < row; j++)
            next[j] = cur[j - 1] + cur[j];
        std::swap(cur, next);
    }
    std::free(next);
    return cur;
}

static float gr__kernel_sum(const float* c, int32_t r) {
    float s = 0.0f;
    for (int32_t i = 0; i < 2 * r + 1; i++)
        s += c[i];
    return s;
}

// ---- float plane --------------------------------------------------------------------

// Lanes of plain vector arithmetic: every lane rounds exactly like the scalar
// expression it replaces (no fused multiply-adds), so the vector and the tail
// code agree bit for bit. Four lanes on every x86-64, eight with AVX2.
typedef float gr__v4f __attribute__((vector_size(16)));
typedef float gr__v8f __attribute__((vector_size(32)));

#define GR__CONV_INLINE inline __attribute__((always_inline))

// The eight-lane bodies are always inlined, so no vector crosses a call and
// the warning about AVX argument passing does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

template <class V> static GR__CONV_INLINE V gr__loadv(const float* p) {
    V v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

template <class V> static GR__CONV_INLINE void gr__storev(float* p, V v) {
    std::memcpy(p, &v, sizeof v);
}

template <class V> static GR__CONV_INLINE V gr__splatv(float f) {
    return V{} + f;
}

struct gr__convolve_s {
    int32_t width, height, r;
    float* plane;
    const float* c;
    float inv;
    std::atomic<bool> failed; // a band found no memory for its scratch
};

// Columns of one strip of the vertical pass: its 2r + 1 rows stay in the
// caches nearest the core, the taps' row pointers are set up once for many
// columns, and a narrow image still makes several strips.
static constexpr int32_t GR__CONVOLVE_STRIP = 128;

// Horizontal pass of rows [y0, y1), in place. Each row is first copied with r
// repeated border samples on either side, so no tap clamps and the row can be
// overwritten as it is summed; the taps are summed in the same order as a
// plain clamped loop would.
template <class V>
static GR__CONV_INLINE void gr__convolve_x_body(gr__convolve_s* job, int32_t y0, int32_t y1) {
    constexpr int32_t L = int32_t(sizeof(V) / sizeof(float));
    const int32_t w = job->width, r = job->r;
    float* pad = static_cast<float*>(std::malloc(sizeof(float) * size_t(w + 2 * r)));
    if (!pad) {
        job->failed.store(true);
        return;
    }
    for (int32_t y = y0; y < y1; y++) {
        float* row = job->plane + size_t(y) * w;
        for (int32_t i = 0; i < w + 2 * r; i++)
            pad[i] = row[std::clamp(i - r, 0, w - 1)];
        int32_t x = 0;
        for (; x + L <= w; x += L) {
            V sum = gr__splatv<V>(0.0f);
            for (int32_t k = 0; k <= 2 * r; k++)
                sum += gr__loadv<V>(pad + x + k) * gr__splatv<V>(job->c[k]);
            gr__storev(row + x, sum * gr__splatv<V>(job->inv));
        }
        for (; x < w; x++) {
            float sum = 0.0f;
            for (int32_t k = 0; k <= 2 * r; k++)
                sum += pad[x + k] * job->c[k];
            row[x] = sum * job->inv;
        }
    }
    std::free(pad);
}

// Vertical pass of column strips [s0, s1), in place. A strip is walked down
// row by row; before row y is overwritten its unsmoothed columns go into a ring
// of at least r + 1 rows (a power of two, so a row's slot is a mask away),
// which serves the taps of rows y - r .. y, while the rows below are still
// unsmoothed in the plane. Clamped taps repeat the border row.
template <class V>
static GR__CONV_INLINE void gr__convolve_y_body(gr__convolve_s* job, int32_t s0, int32_t s1) {
    constexpr int32_t L = int32_t(sizeof(V) / sizeof(float));
    const int32_t w = job->width, h = job->height, r = job->r;
    constexpr size_t S = GR__CONVOLVE_STRIP;
    int32_t slots = 1;
    while (slots < r + 1)
        slots *= 2;
    const int32_t mask = slots - 1;
    float* ring = static_cast<float*>(std::malloc(sizeof(float) * S * size_t(slots)));
    const float** rows =
        static_cast<const float**>(std::malloc(sizeof(float*) * size_t(2 * r + 1)));
    if (!ring || !rows) {
        std::free(rows);
        std::free(ring);
        job->failed.store(true);
        return;
    }
    for (int32_t strip = s0; strip < s1; strip++) {
        const int32_t x0 = strip * int32_t(S), n = std::min(int32_t(S), w - x0);
        for (int32_t y = 0; y < h; y++) {
            float* dst = job->plane + size_t(y) * w + size_t(x0);
            std::memcpy(ring + size_t(y & mask) * S, dst, sizeof(float) * size_t(n));
            for (int32_t k = 0; k <= 2 * r; k++) {
                const int32_t q = std::clamp(y + k - r, 0, h - 1);
                // Rows up to y (never more than r above it) are in the ring.
                rows[k] =
                    q <= y ? ring + size_t(q & mask) * S : job->plane + size_t(q) * w + size_t(x0);
            }
            int32_t x = 0;
            for (; x + L <= n; x += L) {
                V sum = gr__splatv<V>(0.0f);
                for (int32_t k = 0; k <= 2 * r; k++)
                    sum += gr__loadv<V>(rows[k] + x) * gr__splatv<V>(job->c[k]);
                gr__storev(dst + x, sum * gr__splatv<V>(job->inv));
            }
            for (; x < n; x++) {
                float sum = 0.0f;
                for (int32_t k = 0; k <= 2 * r; k++)
                    sum += rows[k][x] * job->c[k];
                dst[x] = sum * job->inv;
            }
        }
    }
    std::free(rows);
    std::free(ring);
}

static void gr__convolve_rows_x(void* ctx, int32_t y0, int32_t y1) {
    gr__convolve_x_body<gr__v4f>(static_cast<gr__convolve_s*>(ctx), y0, y1);
}

static void gr__convolve_strips_y(void* ctx, int32_t s0, int32_t s1) {
    gr__convolve_y_body<gr__v4f>(static_cast<gr__convolve_s*>(ctx), s0, s1);
}

#if defined(__x86_64__)
// The same passes eight lanes at a time, for processors with AVX2 (without
// its fused multiply-adds, which would round differently).
__attribute__((target("avx2"))) static void gr__convolve_rows_x_wide(void* ctx, int32_t y0,
                                                                     int32_t y1) {
    gr__convolve_x_body<gr__v8f>(static_cast<gr__convolve_s*>(ctx), y0, y1);
}

__attribute__((target("avx2"))) static void gr__convolve_strips_y_wide(void* ctx, int32_t s0,
                                                                       int32_t s1) {
    gr__convolve_y_body<gr__v8f>(static_cast<gr__convolve_s*>(ctx), s0, s1);
}

static bool gr__convolve_wide(void) {
    static const bool wide = __builtin_cpu_supports("avx2");
    return wide;
}
#else
static const gr__rows_fn gr__convolve_rows_x_wide = gr__convolve_rows_x;
static const gr__rows_fn gr__convolve_strips_y_wide = gr__convolve_strips_y;
static bool gr__convolve_wide(void) {
    return false;
}
#endif

bool gr__gaussianConvolveBands(int32_t width, int32_t height, float* plane, int32_t r,
                               int32_t bands) {
    SW_ASSERT(width >= 0 && height >= 0, "plane size must not be negative");
    if (width == 0 || height == 0)
        return true;
    float* c = gr__gaussianCoefficients(r);
    if (!c)
        return false;
    gr__convolve_s job = {width, height, r, plane, c, 1.0f / gr__kernel_sum(c, r), {}};
    const bool wide = gr__convolve_wide();
    gr__parallel_rows(height, bands, wide ? gr__convolve_rows_x_wide : gr__convolve_rows_x, &job);
    // The strips split like rows: consecutive ranges, any count alike.
    const int32_t strips = (width + GR__CONVOLVE_STRIP - 1) / GR__CONVOLVE_STRIP;
    if (!job.failed.load())
        gr__parallel_rows(strips, bands, wide ? gr__convolve_strips_y_wide : gr__convolve_strips_y,
                          &job);
    std::free(c);
    return !job.failed.load();
}

bool gr__gaussianConvolve(int32_t width, int32_t height, float* plane, int32_t r) {
    return gr__gaussianConvolveBands(width, height, plane, r, GR__BANDS_AUTO);
}

// ---- RGBA blur ------------------------------------------------------------------------

// One separable pass over 0xAARRGGBB words: step 1 walks a row, step = width a
// column. Each channel is rounded to nearest; alpha becomes 255.
static void gr__blur_pass(const uint32_t* src, uint32_t* dst, int32_t width, int32_t height,
                          bool vertical, const float* c, int32_t r, float half, float inv) {
    for (int32_t y = 0; y < height; y++) {
        for (int32_t x = 0; x < width; x++) {
            float sr = 0.0f, sg = 0.0f, sb = 0.0f;
            for (int32_t k = -r; k <= r; k++) {
                const uint32_t p = vertical
                                       ? src[size_t(std::clamp(y + k, 0, height - 1)) * width + x]
                                       : src[size_t(y) * width + std::clamp(x + k, 0, width - 1)];
                const float w = c[r + k];
                sr += float((p >> 16) & 0xFF) * w;
                sg += float((p >> 8) & 0xFF) * w;
                sb += float(p & 0xFF) * w;
            }
            const uint32_t ir = uint32_t((sr + half) * inv);
            const uint32_t ig = uint32_t((sg + half) * inv);
            const uint32_t ib = uint32_t((sb + half) * inv);
            dst[size_t(y) * width + x] = 0xFF000000u | std::min(ir, 255u) << 16 |
                                         std::min(ig, 255u) << 8 | std::min(ib, 255u);
        }
    }
}

gr_image_s* gr_filter_gaussian(gr_image_s* image, int32_t r) {
    SW_ASSERT(r >= 0 && r <= GR__GAUSSIAN_MAX_RADIUS, "radius out of range");
    const int32_t w = int32_t(gr_image_get_width(image));
    const int32_t h = int32_t(gr_image_get_height(image));
    float* c = gr__gaussianCoefficients(r);
    gr_image_s* tmp = gr_image_create(w, h);
    gr_image_s* out = gr_image_create(w, h);
    if (!c || !tmp || !out) {
        std::free(c);
        gr_image_release(tmp);
        gr_image_release(out);
        return nullptr;
    }
    const float sum = gr__kernel_sum(c, r);
    const uint32_t* src = gr_image_pixels_lock(image);
    uint32_t* tp = gr_image_pixels_lock(tmp);
    uint32_t* op = gr_image_pixels_lock(out);
    if (w > 0 && h > 0) {
        gr__blur_pass(src, tp, w, h, false, c, r, sum * 0.5f, 1.0f / sum);
        gr__blur_pass(tp, op, w, h, true, c, r, sum * 0.5f, 1.0f / sum);
    }
    gr_image_pixels_unlock(tmp, true);
    gr_image_pixels_unlock(out, true);
    gr_image_pixels_unlock(image, false);
    gr_image_release(tmp);
    std::free(c);
    return out;
}
