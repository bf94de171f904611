// Line filters along the edge tangent flow: streamline tracing, the flow-based
// and the isotropic difference of Gaussians, line integral convolution.
//
// The per-pixel work is a function of a row range [y0, y1) with its own
// streamline buffers, so bands can run on separate threads unchanged.

#include "gr/gr_filter_flow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/app_assert.h"
#include "gr/gr_color.h"
#include "gr/gr_internal.h"

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

static float* gr__brightness_plane(gr_image_s* image) {
    const size_t n = size_t(gr_image_get_width(image)) * gr_image_get_height(image);
    float* plane = static_cast<float*>(std::malloc(sizeof(float) * (n + 1)));
    const uint32_t* pixels = gr_image_pixels_lock(image);
    for (size_t i = 0; i < n; i++)
        plane[i] = gr_color_brightness(pixels[i]);
    gr_image_pixels_unlock(image, false);
    return plane;
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

static float gr__lookup(const float* plane, const gr__taps_s& t) {
    const float top = plane[t.i00] + (plane[t.i10] - plane[t.i00]) * t.fx;
    const float bottom = plane[t.i01] + (plane[t.i11] - plane[t.i01]) * t.fx;
    return top + (bottom - top) * t.fy;
}

static bool gr__is_white(float h, float threshold) {
    // A not-a-number response fails both tests and stays black.
    return h >= 0.0f || 1.0f + std::tanh(h) >= threshold;
}

// ---- flow-based difference of Gaussians
// ----------------------------------------------------------

struct gr__fdog_s {
    const gr_complex* cx;
    int32_t width, height;
    const float* b0; // unblurred brightness: weights the cross samples
    const float* b1; // inner blur
    const float* b2; // outer blur
    const float* km; // along-flow binomial, radius flow_steps
    const float* kc; // across-flow binomial, radius cross_steps
    int32_t flow_steps, cross_steps;
    float tau, threshold;
};

static void gr__fdog_rows(const gr__fdog_s* job, uint32_t* out, int32_t y0, int32_t y1) {
    const int32_t s = job->flow_steps, m = job->cross_steps;
    float km_sum = 0.0f;
    for (int32_t k = 0; k <= 2 * s; k++)
        km_sum += job->km[k];
    gr__streamline_s line = gr__streamline_create(s);
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
                    const float b0 = gr__lookup(job->b0, t);
                    const float b1 = gr__lookup(job->b1, t);
                    const float b2 = gr__lookup(job->b2, t);
                    num += (b1 - job->tau * b2) * job->kc[m + c] * b0;
                    den += job->kc[m + c] * b0;
                }
                h += job->km[k] * (num / den);
            }
            h /= km_sum;
            out[size_t(y) * size_t(job->width) + size_t(x)] =
                gr__is_white(h, job->threshold) ? GR__WHITE : GR__BLACK;
        }
    }
    gr__streamline_destroy(&line);
}

gr_image_s* gr_filter_fDoG(gr_image_s* image, const gr_complex* cx, int32_t inner_radius,
                           int32_t outer_radius, int32_t flow_steps, int32_t cross_steps, float tau,
                           float threshold) {
    SW_ASSERT(inner_radius >= 0 && inner_radius <= GR__GAUSSIAN_MAX_RADIUS && outer_radius >= 0 &&
                  outer_radius <= GR__GAUSSIAN_MAX_RADIUS,
              "blur radius out of range");
    SW_ASSERT(flow_steps >= 0 && flow_steps <= GR__GAUSSIAN_MAX_RADIUS && cross_steps >= 0 &&
                  cross_steps <= GR__GAUSSIAN_MAX_RADIUS,
              "step count out of range");
    const int32_t w = int32_t(gr_image_get_width(image));
    const int32_t h = int32_t(gr_image_get_height(image));
    SW_ASSERT(cx->width == w && cx->height == h, "the analysis belongs to another image size");

    float* b0 = gr__brightness_plane(image);
    float* b1 = gr__brightness_plane(image);
    float* b2 = gr__brightness_plane(image);
    gr__gaussianConvolve(w, h, b1, inner_radius);
    gr__gaussianConvolve(w, h, b2, outer_radius);
    float* km = gr__gaussianCoefficients(flow_steps);
    float* kc = gr__gaussianCoefficients(cross_steps);

    gr_image_s* out = gr_image_create(w, h);
    uint32_t* pixels = gr_image_pixels_lock(out);
    const gr__fdog_s job = {cx, w, h, b0, b1, b2, km, kc, flow_steps, cross_steps, tau, threshold};
    gr__fdog_rows(&job, pixels, 0, h);
    gr_image_pixels_unlock(out, true);

    std::free(kc);
    std::free(km);
    std::free(b2);
    std::free(b1);
    std::free(b0);
    return out;
}

// ---- line integral convolution
// -------------------------------------------------------------------

struct gr__lic_s {
    const gr_complex* cx;
    const gr_image_s* image;
    int32_t width;
    const float* kc; // across-flow binomial, radius cross_steps
    int32_t flow_steps, cross_steps;
};

static void gr__lic_rows(const gr__lic_s* job, uint32_t* out, int32_t y0, int32_t y1) {
    const int32_t s = job->flow_steps, m = job->cross_steps;
    const float inv_points = 1.0f / float(2 * s + 1);
    gr__streamline_s line = gr__streamline_create(s);
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
            const uint32_t ir = std::min(uint32_t(r * inv_points), 255u);
            const uint32_t ig = std::min(uint32_t(g * inv_points), 255u);
            const uint32_t ib = std::min(uint32_t(b * inv_points), 255u);
            out[size_t(y) * size_t(job->width) + size_t(x)] = 0xFF000000u | ir << 16 | ig << 8 | ib;
        }
    }
    gr__streamline_destroy(&line);
}

gr_image_s* gr_filter_LIC(gr_image_s* image, const gr_complex* cx, int32_t flow_steps,
                          int32_t cross_steps) {
    SW_ASSERT(flow_steps >= 0 && cross_steps >= 0 && cross_steps <= GR__GAUSSIAN_MAX_RADIUS,
              "step count out of range");
    const int32_t w = int32_t(gr_image_get_width(image));
    const int32_t h = int32_t(gr_image_get_height(image));
    SW_ASSERT(cx->width == w && cx->height == h, "the analysis belongs to another image size");
    float* kc = gr__gaussianCoefficients(cross_steps);
    gr_image_s* out = gr_image_create(w, h);
    uint32_t* pixels = gr_image_pixels_lock(out);
    const gr__lic_s job = {cx, image, w, kc, flow_steps, cross_steps};
    gr__lic_rows(&job, pixels, 0, h);
    gr_image_pixels_unlock(out, true);
    std::free(kc);
    return out;
}

// ---- isotropic difference of Gaussians
// -----------------------------------------------------------

static void gr__dog_rows(const float* b1, const float* b2, int32_t width, float tau,
                         float threshold, uint32_t* out, int32_t y0, int32_t y1) {
    for (size_t i = size_t(y0) * size_t(width); i < size_t(y1) * size_t(width); i++)
        out[i] = gr__is_white(b1[i] - tau * b2[i], threshold) ? GR__WHITE : GR__BLACK;
}

gr_image_s* gr_filter_DoG(gr_image_s* image, int32_t inner_radius, int32_t outer_radius, float tau,
                          float threshold) {
    SW_ASSERT(inner_radius >= 0 && inner_radius <= GR__GAUSSIAN_MAX_RADIUS && outer_radius >= 0 &&
                  outer_radius <= GR__GAUSSIAN_MAX_RADIUS,
              "blur radius out of range");
    const int32_t w = int32_t(gr_image_get_width(image));
    const int32_t h = int32_t(gr_image_get_height(image));
    float* b1 = gr__brightness_plane(image);
    float* b2 = gr__brightness_plane(image);
    gr__gaussianConvolve(w, h, b1, inner_radius);
    gr__gaussianConvolve(w, h, b2, outer_radius);
    gr_image_s* out = gr_image_create(w, h);
    uint32_t* pixels = gr_image_pixels_lock(out);
    gr__dog_rows(b1, b2, w, tau, threshold, pixels, 0, h);
    gr_image_pixels_unlock(out, true);
    std::free(b2);
    std::free(b1);
    return out;
}
