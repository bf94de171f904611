// Structure analysis: Prewitt gradients, the binomially smoothed structure
// tensor, its eigen decomposition, the object and its reads. The flow passes
// live in gr_complex_etf.cpp.
//
// Every per-pixel stage is a function of a row range [y0, y1) that reads only
// shared inputs and writes only its own rows; the stages run in row bands on
// the dispatch pool and give the same values for any number of bands.

#include "gr/gr_complex.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <new>

#include "app/app_assert.h"
#include "app/app_log.h"
#include "app/app_time.h"
#include "gr/gr_color.h"
#include "gr/gr_internal.h"
#include "gr/gr_memory.h"

// ---- helpers --------------------------------------------------------------------------

static float* gr__complex_plane(int32_t width, int32_t height) {
    // Zeroed, so reads before the first compute see a defined (if empty) field.
    return static_cast<float*>(gr_memory_calloc(size_t(width) * size_t(height) + 1, sizeof(float)));
}

static size_t gr__complex_index(const gr_complex* cx, int32_t x, int32_t y) {
    SW_ASSERT(cx->width > 0 && cx->height > 0, "the analysed image is empty");
    x = std::clamp(x, 0, cx->width - 1);
    y = std::clamp(y, 0, cx->height - 1);
    return size_t(y) * size_t(cx->width) + size_t(x);
}

// Writes the unit eigenvector of the smaller eigenvalue of [[E, F], [F, G]],
// which runs along the edge. (G - E + D, -2F) vanishes where F = 0 and E > G,
// an exactly vertical edge, where the other form (2F, G - E - D) still points
// along the edge; both vanish only for an isotropic tensor (flat regions), and
// there the tangent is (1, 0).
static void gr__complex_minor_vector(float e, float f, float g, float d, float* tx, float* ty) {
    float vx = g - e + d, vy = -2.0f * f;
    if (vx == 0.0f && vy == 0.0f) {
        vx = 2.0f * f;
        vy = g - e - d;
    }
    const float len = std::sqrt(vx * vx + vy * vy);
    if (len > 0.0f) {
        *tx = vx / len;
        *ty = vy / len;
    } else {
        *tx = 1.0f;
        *ty = 0.0f;
    }
}

// ---- structure tensor ---------------------------------------------------------------------

// Brightness / 6 of rows [y0, y1): the Prewitt stage's samples, evaluated
// once per pixel instead of once per neighbour.
static void gr__complex_brightness_rows(const uint32_t* pixels, int32_t width, float* out,
                                        int32_t y0, int32_t y1) {
    for (size_t i = size_t(y0) * size_t(width); i < size_t(y1) * size_t(width); i++)
        out[i] = gr_color_brightness(pixels[i]) / 6.0f;
}

// Prewitt gradients of rows [y0, y1) and the raw tensor products, from the
// brightness / 6 plane b; gx and gy themselves are kept when Full. Neighbours
// clamp; gx is left minus right column, gy upper minus lower row.
template <bool Full>
static void gr__complex_gradient_rows(gr_complex* cx, const float* b, int32_t y0, int32_t y1) {
    const int32_t w = cx->width, h = cx->height;
    for (int32_t y = y0; y < y1; y++) {
        const float* up = b + size_t(std::max(y - 1, 0)) * size_t(w);
        const float* mid = b + size_t(y) * size_t(w);
        const float* down = b + size_t(std::min(y + 1, h - 1)) * size_t(w);
        for (int32_t x = 0; x < w; x++) {
            const int32_t xl = std::max(x - 1, 0), xr = std::min(x + 1, w - 1);
            const float ul = up[xl], uc = up[x], ur = up[xr];
            const float ml = mid[xl], mr = mid[xr];
            const float dl = down[xl], dc = down[x], dr = down[xr];
            const float gx = (ul - ur) + (ml - mr) + (dl - dr);
            const float gy = (ul - dl) + (uc - dc) + (ur - dr);
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            if (Full) {
                cx->grad_x[i] = gx;
                cx->grad_y[i] = gy;
            }
            cx->grad_mag[i] = std::sqrt(gx * gx + gy * gy);
            cx->tensor_xx[i] = gx * gx;
            cx->tensor_yy[i] = gy * gy;
            cx->tensor_xy[i] = gx * gy;
        }
    }
}

// Eigenvalues and the minor eigenvector of the smoothed tensor, rows [y0, y1).
static void gr__complex_eigen_rows(gr_complex* cx, int32_t y0, int32_t y1) {
    const size_t w = size_t(cx->width);
    for (size_t i = size_t(y0) * w; i < size_t(y1) * w; i++) {
        const float e = cx->tensor_xx[i], g = cx->tensor_yy[i], f = cx->tensor_xy[i];
        const float d = std::sqrt(4.0f * f * f + (g - e) * (g - e));
        cx->lambda_minor[i] = (e + g - d) * 0.5f;
        cx->lambda_major[i] = (e + g + d) * 0.5f;
        gr__complex_minor_vector(e, f, g, d, &cx->tangent_x[i], &cx->tangent_y[i]);
    }
}

// The tangents alone of rows [y0, y1), written over the smoothed E (x) and G
// (y) they are computed from.
static void gr__complex_tangent_rows(gr_complex* cx, int32_t y0, int32_t y1) {
    const size_t w = size_t(cx->width);
    for (size_t i = size_t(y0) * w; i < size_t(y1) * w; i++) {
        const float e = cx->tensor_xx[i], g = cx->tensor_yy[i], f = cx->tensor_xy[i];
        const float d = std::sqrt(4.0f * f * f + (g - e) * (g - e));
        gr__complex_minor_vector(e, f, g, d, &cx->tensor_xx[i], &cx->tensor_yy[i]);
    }
}

// ---- weight image -----------------------------------------------------------------------------

// Grey values of rows [y0, y1): eigenvalue strength (scaled by s) times a
// smooth radial vignette, each blended toward 1 by a and b.
static void gr__complex_weight_rows(const gr_complex* cx, float s, float a, float b, uint32_t* out,
                                    int32_t y0, int32_t y1) {
    const int32_t w = cx->width, h = cx->height;
    // A single row or column sits on the vignette's axis.
    for (int32_t y = y0; y < y1; y++) {
        const float v = h > 1 ? 2.0f * float(y) / float(h - 1) - 1.0f : 0.0f;
        for (int32_t x = 0; x < w; x++) {
            const size_t i = size_t(y) * size_t(w) + size_t(x);
            const float e = std::sqrt(
                std::max(std::max(cx->lambda_minor[i] * s, cx->lambda_major[i] * s), 0.0f));
            const float u = w > 1 ? 2.0f * float(x) / float(w - 1) - 1.0f : 0.0f;
            const float rho = std::sqrt(u * u + v * v);
            const float c = std::clamp((0.5f - rho) * 1.0938363f, 0.0f, 1.0f);
            const float k = c * c * (3.0f - 2.0f * c);
            // fmax/fmin also map a not-a-number blend to black.
            const float value =
                std::fmin(std::fmax(((e - 1.0f) * a + 1.0f) * ((k - 1.0f) * b + 1.0f), 0.0f), 1.0f);
            const uint32_t g = uint32_t(value * 255.0f);
            out[i] = 0xFF000000u | g << 16 | g << 8 | g;
        }
    }
}

// ---- bands ------------------------------------------------------------------------------------

struct gr__sst_job_s {
    gr_complex* cx;
    const uint32_t* pixels;
    float* b; // brightness / 6
};

static void gr__sst_brightness_band(void* ctx, int32_t y0, int32_t y1) {
    const gr__sst_job_s* job = static_cast<const gr__sst_job_s*>(ctx);
    gr__complex_brightness_rows(job->pixels, job->cx->width, job->b, y0, y1);
}

static void gr__sst_gradient_band(void* ctx, int32_t y0, int32_t y1) {
    const gr__sst_job_s* job = static_cast<const gr__sst_job_s*>(ctx);
    gr__complex_gradient_rows<true>(job->cx, job->b, y0, y1);
}

static void gr__sst_products_band(void* ctx, int32_t y0, int32_t y1) {
    const gr__sst_job_s* job = static_cast<const gr__sst_job_s*>(ctx);
    gr__complex_gradient_rows<false>(job->cx, job->b, y0, y1);
}

static void gr__sst_eigen_band(void* ctx, int32_t y0, int32_t y1) {
    gr__complex_eigen_rows(static_cast<const gr__sst_job_s*>(ctx)->cx, y0, y1);
}

static void gr__sst_tangent_band(void* ctx, int32_t y0, int32_t y1) {
    gr__complex_tangent_rows(static_cast<const gr__sst_job_s*>(ctx)->cx, y0, y1);
}

static void gr__complex_free(float** array) {
    std::free(*array);
    *array = nullptr;
}

bool gr__complex_sst(gr_complex* cx, int32_t radius, gr_complex_progress_cb progress, void* user,
                     int32_t bands, bool full) {
    SW_ASSERT(radius >= 0 && radius <= GR__GAUSSIAN_MAX_RADIUS, "tensor radius out of range");
    SW_ASSERT(cx->tensor_xx && cx->grad_mag && (!full || cx->grad_x),
              "the tensor arrays were released");
    SW_ASSERT(int32_t(gr_image_get_width(cx->image)) == cx->width &&
                  int32_t(gr_image_get_height(cx->image)) == cx->height,
              "the image changed size after the analysis was created");
    const int32_t w = cx->width, h = cx->height;
    const float start = app_time_get();
    if (progress)
        progress(user, 0.0f);
    if (!full) {
        // Never written yet, so they cost address space only until freed.
        for (float** array : {&cx->grad_x, &cx->grad_y, &cx->lambda_minor, &cx->lambda_major})
            gr__complex_free(array);
    }

    gr__sst_job_s job = {cx, nullptr, nullptr};
    if (w > 0 && h > 0) {
        job.b = static_cast<float*>(gr_memory_alloc(sizeof(float) * size_t(w) * size_t(h)));
        if (!job.b)
            return false;
        job.pixels = gr_image_pixels_lock(cx->image);
        gr__parallel_rows(h, bands, gr__sst_brightness_band, &job);
        gr_image_pixels_unlock(cx->image, false);
        gr__parallel_rows(h, bands, full ? gr__sst_gradient_band : gr__sst_products_band, &job);
        std::free(job.b);
    }
    if (progress)
        progress(user, 0.333f);

    if (!gr__gaussianConvolveBands(w, h, cx->tensor_xx, radius, bands) ||
        !gr__gaussianConvolveBands(w, h, cx->tensor_yy, radius, bands) ||
        !gr__gaussianConvolveBands(w, h, cx->tensor_xy, radius, bands))
        return false;
    if (progress)
        progress(user, 0.666f);

    if (w > 0 && h > 0)
        gr__parallel_rows(h, bands, full ? gr__sst_eigen_band : gr__sst_tangent_band, &job);
    if (!full) {
        // The tangents were written over E and G: those planes become them.
        std::free(cx->tangent_x);
        std::free(cx->tangent_y);
        cx->tangent_x = cx->tensor_xx;
        cx->tangent_y = cx->tensor_yy;
        cx->tensor_xx = cx->tensor_yy = nullptr;
        gr__complex_free(&cx->tensor_xy);
    }
    if (progress)
        progress(user, 1.0f);
    app_log_to(cx->log, "Complex compute took %g seconds.\n", double(app_time_get() - start));
    return true;
}

// ---- class ------------------------------------------------------------------------------------

gr_complex::gr_complex(gr_image_s* source)
    : image(source), width(int32_t(gr_image_get_width(source))),
      height(int32_t(gr_image_get_height(source))), log(app_log_stderr()) {
    grad_mag = gr__complex_plane(width, height);
    grad_x = gr__complex_plane(width, height);
    grad_y = gr__complex_plane(width, height);
    tensor_xx = gr__complex_plane(width, height);
    tensor_yy = gr__complex_plane(width, height);
    tensor_xy = gr__complex_plane(width, height);
    tangent_x = gr__complex_plane(width, height);
    tangent_y = gr__complex_plane(width, height);
    lambda_minor = gr__complex_plane(width, height);
    lambda_major = gr__complex_plane(width, height);
}

gr_complex::~gr_complex() {
    std::free(grad_mag);
    std::free(grad_x);
    std::free(grad_y);
    std::free(tensor_xx);
    std::free(tensor_yy);
    std::free(tensor_xy);
    std::free(tangent_x);
    std::free(tangent_y);
    std::free(lambda_minor);
    std::free(lambda_major);
    std::free(flow_scratch);
}

bool gr_complex::compute(int radius, gr_complex_progress_cb progress, void* user) {
    return gr__complex_sst(this, radius, progress, user, GR__BANDS_AUTO);
}

bool gr_complex::etf_step(int radius) {
    return gr__complex_etf(this, radius, GR__PATH_FAST, GR__BANDS_AUTO);
}

gr_image_s* gr_complex::weightImage(float a, float b) {
    SW_ASSERT(lambda_minor, "the eigenvalues were released");
    const size_t n = size_t(width) * size_t(height);
    float hi = 0.0f, lo = std::numeric_limits<float>::infinity();
    for (size_t i = 0; i < n; i++) {
        hi = std::max({hi, lambda_minor[i], lambda_major[i]});
        lo = std::min({lo, lambda_minor[i], lambda_major[i]});
    }
    const float s = hi == lo ? 1.0f : 1.0f / (hi - lo);
    gr_image_s* out = gr_image_create(width, height);
    if (!out)
        return nullptr;
    uint32_t* pixels = gr_image_pixels_lock(out);
    gr__complex_weight_rows(this, s, a, b, pixels, 0, height);
    gr_image_pixels_unlock(out, true);
    return out;
}

// ---- free functions ----------------------------------------------------------------------------

gr_complex* gr_complex_create(gr_image_s* image) {
    SW_ASSERT(image, "no image to analyse");
    gr_complex* cx = new (std::nothrow) gr_complex(image);
    if (cx && !(cx->grad_mag && cx->grad_x && cx->grad_y && cx->tensor_xx && cx->tensor_yy &&
                cx->tensor_xy && cx->tangent_x && cx->tangent_y && cx->lambda_minor &&
                cx->lambda_major)) {
        delete cx;
        cx = nullptr;
    }
    return cx;
}

void gr_complex_destroy(gr_complex* cx) {
    delete cx;
}

bool gr_complex_compute_sst(gr_complex* cx, int32_t radius, gr_complex_progress_cb progress,
                            void* user) {
    return cx->compute(radius, progress, user);
}

bool gr_complex_compute_tangents(gr_complex* cx, int32_t radius, gr_complex_progress_cb progress,
                                 void* user) {
    return gr__complex_sst(cx, radius, progress, user, GR__BANDS_AUTO, false);
}

bool gr_complex_compute_etf(gr_complex* cx, int32_t radius) {
    return cx->etf_step(radius);
}

void gr_complex_release_tensor(gr_complex* cx, bool keep_magnitude) {
    for (float** array : {&cx->grad_x, &cx->grad_y, &cx->tensor_xx, &cx->tensor_yy, &cx->tensor_xy,
                          &cx->lambda_minor, &cx->lambda_major})
        gr__complex_free(array);
    gr__complex_free(&cx->flow_scratch);
    cx->flow_scratch_floats = 0;
    if (!keep_magnitude)
        gr__complex_free(&cx->grad_mag);
}

void gr_complex_set_log(gr_complex* cx, app_log_sink_s log) {
    cx->log = log;
}

void gr_complex_dims(const gr_complex* cx, int32_t* width, int32_t* height) {
    *width = cx->width;
    *height = cx->height;
}

float gr_complex_gradmag(const gr_complex* cx, int32_t x, int32_t y) {
    return cx->grad_mag ? cx->grad_mag[gr__complex_index(cx, x, y)] : 0.0f;
}

void gr_complex_tangent(const gr_complex* cx, int32_t x, int32_t y, float* tx, float* ty) {
    const size_t i = gr__complex_index(cx, x, y);
    *tx = cx->tangent_x[i];
    *ty = cx->tangent_y[i];
}

void gr_complex_tensor(const gr_complex* cx, int32_t x, int32_t y, float* tx, float* ty,
                       float* lambda_minor, float* lambda_major) {
    const size_t i = gr__complex_index(cx, x, y);
    *tx = cx->tangent_x[i];
    *ty = cx->tangent_y[i];
    *lambda_minor = cx->lambda_minor ? cx->lambda_minor[i] : 0.0f;
    *lambda_major = cx->lambda_major ? cx->lambda_major[i] : 0.0f;
}

void gr_complex_tangent_sample(const gr_complex* cx, float* tx, float* ty, float x, float y) {
    SW_ASSERT_HOT(cx->width > 0 && cx->height > 0, "the analysed image is empty");
    // fmax/fmin also send a not-a-number coordinate to the border.
    x = std::fmin(std::fmax(x, 0.0f), float(cx->width - 1));
    y = std::fmin(std::fmax(y, 0.0f), float(cx->height - 1));
    const float x0 = std::floor(x), x1 = std::ceil(x);
    const float y0 = std::floor(y), y1 = std::ceil(y);
    const float fx = x - x0, fy = y - y0;
    const size_t w = size_t(cx->width);
    const size_t i00 = size_t(y0) * w + size_t(x0), i10 = size_t(y0) * w + size_t(x1);
    const size_t i01 = size_t(y1) * w + size_t(x0), i11 = size_t(y1) * w + size_t(x1);
    gr__tangent_blend(cx->tangent_x, cx->tangent_y, i00, i10, i01, i11, fx, fy, tx, ty);
}

gr_image_s* gr_complex_weight_image(gr_complex* cx, float a, float b) {
    return cx->weightImage(a, b);
}
