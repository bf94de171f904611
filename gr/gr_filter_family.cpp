// Per-pixel filters of the family: lookup grading, masks, tone, inversion,
// blending, palette mapping, noise, vignette, and the geometric crop and
// rotation.

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/app_assert.h"
#include "gr/gr_color.h"
#include "gr/gr_filter.h"

// ---- channels -------------------------------------------------------------------------

static inline uint32_t gr__red(gr_color_t c) {
    return (c >> 16) & 0xFF;
}
static inline uint32_t gr__green(gr_color_t c) {
    return (c >> 8) & 0xFF;
}
static inline uint32_t gr__blue(gr_color_t c) {
    return c & 0xFF;
}
static inline uint32_t gr__alpha(gr_color_t c) {
    return c >> 24;
}
static inline gr_color_t gr__rgb(uint32_t r, uint32_t g, uint32_t b) {
    return 0xFF000000u | r << 16 | g << 8 | b;
}

static inline size_t gr__count(const gr_image_s* image) {
    return size_t(gr_image_get_width(image)) * gr_image_get_height(image);
}

static inline bool gr__same_size(const gr_image_s* a, const gr_image_s* b) {
    return gr_image_get_width(a) == gr_image_get_width(b) &&
           gr_image_get_height(a) == gr_image_get_height(b);
}

// Maps pixel x of a side n to -1..1 (the centre of a one-pixel side is 0).
static inline float gr__unit(uint32_t x, uint32_t n) {
    return n > 1 ? 2.0f * float(x) / float(n - 1) - 1.0f : 0.0f;
}

// Runs f over every pixel word into a new image of the same size; null when
// out of memory.
template <class F> static gr_image_s* gr__map(gr_image_s* image, F f) {
    const uint32_t w = gr_image_get_width(image), h = gr_image_get_height(image);
    gr_image_s* out = gr_image_create(int32_t(w), int32_t(h));
    if (!out)
        return nullptr;
    const uint32_t* src = gr_image_pixels_lock(image);
    uint32_t* dst = gr_image_pixels_lock(out);
    const size_t n = size_t(w) * h;
    for (size_t i = 0; i < n; i++)
        dst[i] = f(src[i], i);
    gr_image_pixels_unlock(out, true);
    gr_image_pixels_unlock(image, false);
    return out;
}

// ---- per-pixel colour filters ---------------------------------------------------------

gr_image_s* gr_filter_3dlut(gr_image_s* image, gr_image_s* lut) {
    if (gr_image_get_width(lut) != 512 || gr_image_get_height(lut) != 512)
        return nullptr;
    const uint32_t* table = gr_image_pixels_lock(lut);
    gr_image_s* out = gr__map(image, [table](gr_color_t c, size_t) {
        const uint32_t r = gr__red(c), g = gr__green(c), b = gr__blue(c);
        const uint32_t row = (b >> 5) * 64 + (g >> 2);
        const uint32_t col = ((b >> 2) & 7) * 64 + (r >> 2);
        return table[row * 512 + col];
    });
    gr_image_pixels_unlock(lut, false);
    return out;
}

gr_image_s* gr_filter_binary_diff(gr_image_s* a, gr_image_s* b, int32_t threshold,
                                  gr_image_s* mask) {
    if (!gr__same_size(a, b) || !gr__same_size(a, mask))
        return nullptr;
    const uint32_t* pb = gr_image_pixels_lock(b);
    const uint32_t* pm = gr_image_pixels_lock(mask);
    gr_image_s* out = gr__map(a, [pb, pm, threshold](gr_color_t ca, size_t i) {
        const gr_color_t cb = pb[i];
        const int32_t m = int32_t(gr__red(pm[i]));
        bool same = gr__alpha(ca) >= 32;
        for (int shift = 0; shift < 24 && same; shift += 8) {
            const int32_t d =
                std::abs(int32_t((ca >> shift) & 0xFF) - int32_t((cb >> shift) & 0xFF));
            same = d * m / 255 < threshold;
        }
        return same ? 0xFF000000u : 0xFFFFFFFFu;
    });
    gr_image_pixels_unlock(mask, false);
    gr_image_pixels_unlock(b, false);
    return out;
}

gr_image_s* gr_filter_brightness(gr_image_s* image) {
    const size_t n = gr__count(image);
    const uint32_t* src = gr_image_pixels_lock(image);
    float lo = 1.0f, hi = 0.0f;
    for (size_t i = 0; i < n; i++) {
        const float v = gr_color_brightness(src[i]);
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    gr_image_pixels_unlock(image, false);
    const float scale = hi > lo ? 1.0f / (hi - lo) : 1.0f;
    return gr__map(image, [lo, scale](gr_color_t c, size_t) {
        const float t = std::clamp((gr_color_brightness(c) - lo) * scale, 0.0f, 1.0f);
        const uint32_t g = std::min(uint32_t(255.0f * t * t * (3.0f - 2.0f * t)), 255u);
        return gr__rgb(g, g, g);
    });
}

gr_image_s* gr_filter_invert(gr_image_s* image) {
    return gr__map(image, [](gr_color_t c, size_t) { return 0xFF000000u | (~c & 0x00FFFFFFu); });
}

gr_image_s* gr_filter_lerp(gr_image_s* a, gr_image_s* b, float t) {
    if (!gr__same_size(a, b))
        return nullptr;
    const uint32_t* pb = gr_image_pixels_lock(b);
    gr_image_s* out =
        gr__map(a, [pb, t](gr_color_t ca, size_t i) { return gr_color_lerp(ca, pb[i], t); });
    gr_image_pixels_unlock(b, false);
    return out;
}

gr_image_s* gr_filter_recolor(gr_image_s* image, int32_t count, const gr_color_t* palette,
                              float jitter) {
    SW_ASSERT(count <= 0 || palette != nullptr, "gr_filter_recolor needs count colours");
    if (count <= 0) {
        gr_image_s* out = gr_image_create(int32_t(gr_image_get_width(image)),
                                          int32_t(gr_image_get_height(image)));
        if (out) {
            gr_image_pixels_lock(out);
            gr_image_pixels_unlock(out, true);
        }
        return out;
    }
    return gr__map(image, [count, palette, jitter](gr_color_t c, size_t) {
        int32_t best = 0;
        float best_score = 2.0f;
        for (int32_t k = 0; k < count; k++) {
            float score = gr_color_diff(c, palette[k]);
            // No draws without jitter, so the result does not depend on rand().
            if (jitter != 0.0f)
                score += jitter * (2.0f * float(std::rand()) / float(RAND_MAX) - 1.0f);
            score = std::clamp(score, 0.0f, 1.0f);
            if (score < best_score) {
                best_score = score;
                best = k;
            }
        }
        return palette[best];
    });
}

void gr_filter_noise(gr_image_s* image) {
    const size_t n = gr__count(image);
    uint32_t* px = gr_image_pixels_lock(image);
    for (size_t i = 0; i < n; i++) {
        const uint32_t r = uint32_t(std::rand()) & 0xFF;
        const uint32_t g = uint32_t(std::rand()) & 0xFF;
        const uint32_t b = uint32_t(std::rand()) & 0xFF;
        px[i] = gr__rgb(r, g, b);
    }
    gr_image_pixels_unlock(image, true);
}

void gr_filter_vignette(gr_image_s* image) {
    const uint32_t w = gr_image_get_width(image), h = gr_image_get_height(image);
    uint32_t* px = gr_image_pixels_lock(image);
    // Full strength out to radius 0.5 of the unit square, falling to black at
    // the corners (radius sqrt 2).
    const float corner = std::sqrt(2.0f);
    for (uint32_t y = 0; y < h; y++) {
        const float v = gr__unit(y, h);
        for (uint32_t x = 0; x < w; x++) {
            const float u = gr__unit(x, w);
            const float rho = std::sqrt(u * u + v * v);
            const float k = std::clamp((corner - rho) / (corner - 0.5f), 0.0f, 1.0f);
            const uint32_t f = std::min(uint32_t(255.0f * k * k * (3.0f - 2.0f * k)), 255u);
            const gr_color_t c = px[size_t(y) * w + x];
            px[size_t(y) * w + x] = (c & 0xFF000000u) | (gr__red(c) * f / 255) << 16 |
                                    (gr__green(c) * f / 255) << 8 | gr__blue(c) * f / 255;
        }
    }
    gr_image_pixels_unlock(image, true);
}

// ---- geometry ---------------------------------------------------------------------------

gr_image_s* gr_filter_crop(gr_image_s* image, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    if (uint64_t(x) + w > gr_image_get_width(image) || uint64_t(y) + h > gr_image_get_height(image))
        return nullptr;
    return gr_image_get_rect(image, x, y, w, h);
}

gr_image_s* gr_filter_rotate(gr_image_s* image, float angle) {
    const uint32_t w = gr_image_get_width(image), h = gr_image_get_height(image);
    gr_image_s* out = gr_image_create(int32_t(w), int32_t(h));
    if (!out)
        return nullptr;
    uint32_t* dst = gr_image_pixels_lock(out);
    const float ca = std::cos(angle), sa = std::sin(angle);
    for (uint32_t y = 0; y < h; y++) {
        const float v = gr__unit(y, h);
        for (uint32_t x = 0; x < w; x++) {
            const float u = gr__unit(x, w);
            const float sx = ((u * ca - v * sa) * 0.5f + 0.5f) * float(w);
            const float sy = ((u * sa + v * ca) * 0.5f + 0.5f) * float(h);
            dst[size_t(y) * w + x] = gr_image_sample(image, sx, sy);
        }
    }
    gr_image_pixels_unlock(out, true);
    return out;
}
