// Edge-tangent-flow passes: the straightforward window loop with a
// double-precision tanh per sample, and the fast kernel that gets the same
// weights in single precision eight pixels at a time.
//
// The flow weight (1 + tanh(mj - mi)) / 2 equals 1 / (1 + e^(2 mi) e^(-2 mj)),
// so the fast pass takes one exponential per pixel instead of a tanh per
// sample, and a sample costs a handful of multiply-adds and one division. It
// first copies the tangents and the factors e^(-2 m) into planes padded with r
// repeated border columns, so that the eight neighbouring pixels of a kernel
// step read their windows with plain contiguous loads and no clamping.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/app_assert.h"
#include "gr/gr_complex.h"
#include "gr/gr_internal.h"
#include "gr/gr_memory.h"

// ---- reference pass --------------------------------------------------------------------

struct gr__etf_job_s {
    const gr_complex* cx;
    int32_t r;
    float* out_x;
    float* out_y;
    // Fast pass only: planes of stride floats per row; column x + r holds the
    // value of pixel clamp(x), so columns 0 .. w + 2r - 1 cover every window.
    int32_t stride;
    float* pad_x;
    float* pad_y;
    float* pad_f;        // e^(-2 grad_mag)
    unsigned char* wild; // per row: a magnitude the fast weights cannot take
};

// One flow pass over rows [y0, y1): every pixel averages the tangents of its
// (2r + 1)^2 clamped window, each flipped to agree with its own tangent and
// weighted by alignment and by how much stronger the neighbour's gradient is.
static void gr__etf_reference_rows(void* ctx, int32_t y0, int32_t y1) {
    const gr__etf_job_s* job = static_cast<const gr__etf_job_s*>(ctx);
    const gr_complex* cx = job->cx;
    const int32_t w = cx->width, h = cx->height, r = job->r;
    const float* tx = cx->tangent_x;
    const float* ty = cx->tangent_y;
    const float* mag = cx->grad_mag;
    for (int32_t y = y0; y < y1; y++) {
        for (int32_t x = 0; x < w; x++) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            const float tix = tx[i], tiy = ty[i];
            const double mi = mag[i];
            float sum_x = 0.0f, sum_y = 0.0f, sum_w = 0.0f;
            float plain_x = 0.0f, plain_y = 0.0f;
            for (int32_t dy = -r; dy <= r; dy++) {
                const size_t row = size_t(std::clamp(y + dy, 0, h - 1)) * size_t(w);
                for (int32_t dx = -r; dx <= r; dx++) {
                    const size_t j = row + size_t(std::clamp(x + dx, 0, w - 1));
                    const float tjx = tx[j], tjy = ty[j];
                    const float dot = tix * tjx + tiy * tjy;
                    const float sign = dot > 0.0f ? 1.0f : -1.0f;
                    const float wm = float((1.0 + std::tanh(double(mag[j]) - mi)) * 0.5);
                    const float wt = std::fabs(dot) * sign * wm;
                    sum_x += wt * tjx;
                    sum_y += wt * tjy;
                    sum_w += std::fabs(wt);
                    plain_x += tjx;
                    plain_y += tjy;
                }
            }
            float vx, vy;
            if (sum_w > 0.001f) {
                vx = sum_x / sum_w;
                vy = sum_y / sum_w;
            } else {
                const float count = float((2 * r + 1) * (2 * r + 1));
                vx = plain_x / count;
                vy = plain_y / count;
            }
            const float len = std::sqrt(vx * vx + vy * vy);
            if (len > 0.0f) {
                vx /= len;
                vy /= len;
            }
            job->out_x[i] = vx;
            job->out_y[i] = vy;
        }
    }
}

// ---- exponential -------------------------------------------------------------------------

#define GR__INLINE inline __attribute__((always_inline))

// The eight-lane helpers are always inlined, so no vector ever crosses a call
// and the warning about AVX argument passing does not apply.
#pragma GCC diagnostic ignored "-Wpsabi"

// Eight lanes; on processors without AVX the compiler splits them in halves.
typedef float gr__v8f __attribute__((vector_size(32)));
typedef int32_t gr__v8i __attribute__((vector_size(32)));

static GR__INLINE gr__v8f gr__splat(float f) {
    return gr__v8f{f, f, f, f, f, f, f, f};
}

static GR__INLINE gr__v8f gr__load(const float* p) {
    gr__v8f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}

static GR__INLINE void gr__store(float* p, const gr__v8f& v) {
    std::memcpy(p, &v, sizeof v);
}

static GR__INLINE int32_t gr__to_int(float f) {
    return int32_t(f);
}

static GR__INLINE gr__v8i gr__to_int(const gr__v8f& f) {
    return __builtin_convertvector(f, gr__v8i);
}

// e^x for x in [-87, 88] (clamped into it): x = n ln 2 + f with |f| <= ln 2 / 2,
// e^f by a degree-7 polynomial, 2^n put straight into the exponent bits. The
// same steps for one float and for eight lanes.
// Reinterprets the bits of one value as another type of the same size. A
// copy rather than std::bit_cast: GCC 12's UBSan misreads bit_cast of vector
// types at -O0, and at -O2 both compile to a register move.
template <class To, class From> static GR__INLINE To gr__bits(const From& v) {
    static_assert(sizeof(To) == sizeof(From), "bit copies need equal sizes");
    To out;
    std::memcpy(&out, &v, sizeof out);
    return out;
}

template <class F> static GR__INLINE F gr__exp_poly(const F& arg) {
    const F lo = F{} - 87.0f, hi = F{} + 88.0f;
    F x = arg < lo ? lo : arg;
    x = x > hi ? hi : x;
    // Adding and removing 1.5 * 2^23 rounds to the nearest integer.
    const F n = (x * 1.44269504088896341f + 12582912.0f) - 12582912.0f;
    // ln 2 in two parts, the first exact in a float, so f keeps its low bits.
    const F f = (x - n * 0.693359375f) - n * -2.12194440e-4f;
    F p = F{} + 1.9875691500e-4f;
    p = p * f + 1.3981999507e-3f;
    p = p * f + 8.3334519073e-3f;
    p = p * f + 4.1665795894e-2f;
    p = p * f + 1.6666665459e-1f;
    p = p * f + 5.0000001201e-1f;
    p = p * (f * f) + f + 1.0f;
    // n is in [-126, 127]: a normal power of two.
    const F scale = gr__bits<F>((gr__to_int(n) + 127) << 23);
    return p * scale;
}

float gr__expf(float x) {
    // Not a number stays one instead of reaching the integer conversion.
    return x == x ? gr__exp_poly(x) : x;
}

float gr__flow_weight(float mi, float mj) {
    // As the kernel forms it: the centre's factor from its stored e^(-2 mi).
    const float ei = 1.0f / gr__expf(-2.0f * mi);
    return 1.0f / (1.0f + ei * gr__expf(-2.0f * mj));
}

// ---- fast pass ---------------------------------------------------------------------------

// Copies rows [y0, y1) of the tangents and e^(-2 m) into the padded planes and
// flags rows holding a magnitude outside the fast weights' range.
static GR__INLINE void gr__etf_pad_body(const gr__etf_job_s* job, int32_t y0, int32_t y1) {
    const gr_complex* cx = job->cx;
    const int32_t w = cx->width, r = job->r, stride = job->stride;
    const gr__v8f limit = gr__splat(GR__FLOW_WEIGHT_RANGE);
    for (int32_t y = y0; y < y1; y++) {
        const size_t src = size_t(y) * size_t(w);
        const size_t row = size_t(y) * size_t(stride);
        float* qx = job->pad_x + row;
        float* qy = job->pad_y + row;
        float* qf = job->pad_f + row;
        std::memcpy(qx + r, cx->tangent_x + src, sizeof(float) * size_t(w));
        std::memcpy(qy + r, cx->tangent_y + src, sizeof(float) * size_t(w));
        const float* mag = cx->grad_mag + src;
        bool wild = false;
        int32_t x = 0;
        for (; x + 8 <= w; x += 8) {
            const gr__v8f m = gr__load(mag + x);
            // Also false for not a number.
            const gr__v8i in = m >= -limit && m <= limit;
            for (int lane = 0; lane < 8; lane++)
                wild |= in[lane] == 0;
            // Wild lanes (the pass falls back anyway) must not reach the
            // exponential's integer conversion as not a number.
            gr__store(qf + r + x, gr__exp_poly((in ? m : gr__v8f{}) * -2.0f));
        }
        for (; x < w; x++) {
            const bool in = std::fabs(mag[x]) <= GR__FLOW_WEIGHT_RANGE;
            wild |= !in;
            qf[r + x] = gr__exp_poly((in ? mag[x] : 0.0f) * -2.0f);
        }
        for (float* q : {qx, qy, qf}) {
            std::fill(q, q + r, q[r]);
            std::fill(q + r + w, q + stride, q[r + w - 1]);
        }
        job->wild[y] = wild;
    }
}

// Pixel (x, y) whose weights summed to nearly nothing: the plain mean of its
// window, not sign-aligned.
static GR__INLINE void gr__etf_plain_mean(const gr__etf_job_s* job, int32_t x, int32_t y, float* vx,
                                          float* vy) {
    const int32_t h = job->cx->height, r = job->r;
    float plain_x = 0.0f, plain_y = 0.0f;
    for (int32_t dy = -r; dy <= r; dy++) {
        const size_t row = size_t(std::clamp(y + dy, 0, h - 1)) * size_t(job->stride) + size_t(x);
        for (int32_t k = 0; k <= 2 * r; k++) {
            plain_x += job->pad_x[row + size_t(k)];
            plain_y += job->pad_y[row + size_t(k)];
        }
    }
    const float count = float((2 * r + 1) * (2 * r + 1));
    *vx = plain_x / count;
    *vy = plain_y / count;
}

// The pass over rows [y0, y1), eight neighbouring pixels at a time; lanes past
// the row's end read border copies and are not stored.
static GR__INLINE void gr__etf_fast_body(const gr__etf_job_s* job, int32_t y0, int32_t y1) {
    const gr_complex* cx = job->cx;
    const int32_t w = cx->width, h = cx->height, r = job->r;
    const size_t stride = size_t(job->stride);
    const gr__v8f one = gr__splat(1.0f);
    const gr__v8i magnitude = gr__v8i{} + 0x7FFFFFFF;
    for (int32_t y = y0; y < y1; y++) {
        for (int32_t x0 = 0; x0 < w; x0 += 8) {
            const size_t centre = size_t(y) * stride + size_t(r + x0);
            const gr__v8f tix = gr__load(job->pad_x + centre);
            const gr__v8f tiy = gr__load(job->pad_y + centre);
            const gr__v8f ei = one / gr__load(job->pad_f + centre);
            // Two sets of sums, even and odd columns of the window, so that
            // consecutive samples do not wait for each other's additions.
            gr__v8f even_x = {}, even_y = {}, even_w = {};
            gr__v8f odd_x = {}, odd_y = {}, odd_w = {};
            auto sample = [&](const float* jx, const float* jy, const float* jf, gr__v8f& sum_x,
                              gr__v8f& sum_y, gr__v8f& sum_w) __attribute__((always_inline)) {
                const gr__v8f tjx = gr__load(jx), tjy = gr__load(jy);
                const gr__v8f dot = tix * tjx + tiy * tjy;
                // dot times the weight: wd sign wm with wd sign = dot.
                const gr__v8f wt = dot / (one + ei * gr__load(jf));
                sum_x += wt * tjx;
                sum_y += wt * tjy;
                sum_w += reinterpret_cast<gr__v8f>(reinterpret_cast<gr__v8i>(wt) & magnitude);
            };
            for (int32_t dy = -r; dy <= r; dy++) {
                const size_t row = size_t(std::clamp(y + dy, 0, h - 1)) * stride + size_t(x0);
                const float* jx = job->pad_x + row;
                const float* jy = job->pad_y + row;
                const float* jf = job->pad_f + row;
                int32_t k = 0;
                for (; k < 2 * r; k += 2) {
                    sample(jx + k, jy + k, jf + k, even_x, even_y, even_w);
                    sample(jx + k + 1, jy + k + 1, jf + k + 1, odd_x, odd_y, odd_w);
                }
                sample(jx + k, jy + k, jf + k, even_x, even_y, even_w);
            }
            const gr__v8f sum_x = even_x + odd_x, sum_y = even_y + odd_y, sum_w = even_w + odd_w;
            for (int32_t lane = 0; lane < 8 && x0 + lane < w; lane++) {
                float vx, vy;
                if (sum_w[lane] > 0.001f) {
                    vx = sum_x[lane] / sum_w[lane];
                    vy = sum_y[lane] / sum_w[lane];
                } else {
                    gr__etf_plain_mean(job, x0 + lane, y, &vx, &vy);
                }
                const float len = std::sqrt(vx * vx + vy * vy);
                if (len > 0.0f) {
                    vx /= len;
                    vy /= len;
                }
                const size_t i = size_t(y) * size_t(w) + size_t(x0 + lane);
                job->out_x[i] = vx;
                job->out_y[i] = vy;
            }
        }
    }
}

static void gr__etf_pad_portable(void* ctx, int32_t y0, int32_t y1) {
    gr__etf_pad_body(static_cast<const gr__etf_job_s*>(ctx), y0, y1);
}

static void gr__etf_fast_portable(void* ctx, int32_t y0, int32_t y1) {
    gr__etf_fast_body(static_cast<const gr__etf_job_s*>(ctx), y0, y1);
}

#if defined(__x86_64__)
// The same bodies compiled for AVX2 and FMA: eight lanes per instruction, and
// multiply-adds fused (which rounds once where the portable kernel rounds twice).
__attribute__((target("avx2,fma"))) static void gr__etf_pad_wide(void* ctx, int32_t y0,
                                                                 int32_t y1) {
    gr__etf_pad_body(static_cast<const gr__etf_job_s*>(ctx), y0, y1);
}

__attribute__((target("avx2,fma"))) static void gr__etf_fast_wide(void* ctx, int32_t y0,
                                                                  int32_t y1) {
    gr__etf_fast_body(static_cast<const gr__etf_job_s*>(ctx), y0, y1);
}

static bool gr__cpu_wide(void) {
    static const bool wide = __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
    return wide;
}
#else
static const gr__rows_fn gr__etf_pad_wide = gr__etf_pad_portable;
static const gr__rows_fn gr__etf_fast_wide = gr__etf_fast_portable;
static bool gr__cpu_wide(void) {
    return false;
}
#endif

// Runs the fast pass. It reads the padded copies only, so it writes the new
// tangents straight over the old ones. Returns false, having written nothing,
// when a magnitude lies outside the fast weights' range or there is no memory
// for its padded planes.
static bool gr__etf_fast(gr_complex* cx, gr__etf_job_s* job, bool wide, int32_t bands) {
    const int32_t w = cx->width, h = cx->height;
    // Room for the last group's eight lanes, each reading 2r + 1 columns.
    job->stride = (w + 2 * job->r + 8 + 7) / 8 * 8;
    const size_t plane = size_t(job->stride) * size_t(h);
    if (cx->flow_scratch_floats != 3 * plane) {
        std::free(cx->flow_scratch);
        cx->flow_scratch = static_cast<float*>(gr_memory_alloc(sizeof(float) * 3 * plane));
        cx->flow_scratch_floats = cx->flow_scratch ? 3 * plane : 0;
    }
    float* block = cx->flow_scratch;
    job->wild = static_cast<unsigned char*>(std::malloc(size_t(h)));
    if (!block || !job->wild) {
        // Without room for the padded planes the reference pass, which needs
        // none, does the work.
        std::free(job->wild);
        return false;
    }
    job->pad_x = block;
    job->pad_y = block + plane;
    job->pad_f = block + 2 * plane;
    gr__parallel_rows(h, bands, wide ? gr__etf_pad_wide : gr__etf_pad_portable, job);
    const bool tame = std::find(job->wild, job->wild + h, 1) == job->wild + h;
    if (tame) {
        job->out_x = job->cx->tangent_x;
        job->out_y = job->cx->tangent_y;
        gr__parallel_rows(h, bands, wide ? gr__etf_fast_wide : gr__etf_fast_portable, job);
    }
    std::free(job->wild);
    return tame;
}

// ---- pass ----------------------------------------------------------------------------------

bool gr__complex_etf(gr_complex* cx, int32_t radius, gr__path_t path, int32_t bands) {
    SW_ASSERT(cx->grad_mag, "the gradient magnitude was released");
    SW_ASSERT(radius >= 0, "flow radius must not be negative");
    const int32_t w = cx->width, h = cx->height;
    if (w == 0 || h == 0)
        return true;
    const size_t n = size_t(w) * size_t(h);
    gr__etf_job_s job = {};
    job.cx = cx;
    job.r = radius;
    if (path != GR__PATH_REFERENCE &&
        gr__etf_fast(cx, &job, path == GR__PATH_FAST && gr__cpu_wide(), bands))
        return true;
    // Every entry is written; one spare keeps the allocation non-empty.
    job.out_x = static_cast<float*>(gr_memory_alloc(sizeof(float) * (n + 1)));
    job.out_y = static_cast<float*>(gr_memory_alloc(sizeof(float) * (n + 1)));
    if (!job.out_x || !job.out_y) {
        std::free(job.out_x);
        std::free(job.out_y);
        return false;
    }
    job.out_x[n] = job.out_y[n] = 0.0f;
    gr__parallel_rows(h, bands, gr__etf_reference_rows, &job);
    std::free(cx->tangent_x);
    std::free(cx->tangent_y);
    cx->tangent_x = job.out_x;
    cx->tangent_y = job.out_y;
    return true;
}
