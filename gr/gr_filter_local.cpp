// Neighbourhood filters of the family: push-pull hole filling, bilateral
// smoothing, block decimation, 3 x 3 morphology and the normal map.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <numbers>

#include "app/app_assert.h"
#include "gr/gr_color.h"
#include "gr/gr_filter.h"
#include "gr/gr_internal.h"

static inline int32_t gr__clampi(int32_t v, int32_t lo, int32_t hi) {
    return v < lo ? lo : (v > hi ? hi : v);
}

// Truncates to 0..255; NaN gives 0.
static inline uint32_t gr__byte(float v) {
    return v > 0.0f ? std::min(uint32_t(std::min(v, 255.0f)), 255u) : 0u;
}

// ---- push-pull fill -----------------------------------------------------------------------

// Halves level (w x h) into the next one: the integer mean of the opaque
// pixels of each clamped 2 x 2 block, made opaque, or transparent black.
// Returns whether every block was entirely opaque; *coarse_out is null when
// out of memory.
static bool gr__push_level(gr_image_s* fine, gr_image_s** coarse_out) {
    const int32_t w = int32_t(gr_image_get_width(fine)), h = int32_t(gr_image_get_height(fine));
    const int32_t cw = (w + 1) / 2, ch = (h + 1) / 2;
    gr_image_s* coarse = gr_image_create(cw, ch);
    *coarse_out = coarse;
    if (!coarse)
        return false;
    const uint32_t* src = gr_image_pixels_lock(fine);
    uint32_t* dst = gr_image_pixels_lock(coarse);
    bool full = true;
    for (int32_t cy = 0; cy < ch; cy++) {
        const int32_t ys[2] = {2 * cy, std::min(2 * cy + 1, h - 1)};
        for (int32_t cx = 0; cx < cw; cx++) {
            const int32_t xs[2] = {2 * cx, std::min(2 * cx + 1, w - 1)};
            uint32_t sum[3] = {0, 0, 0}, n = 0;
            for (int32_t y : ys)
                for (int32_t x : xs) {
                    const gr_color_t c = src[size_t(y) * w + x];
                    if ((c >> 24) != 255)
                        continue;
                    sum[0] += (c >> 16) & 0xFF;
                    sum[1] += (c >> 8) & 0xFF;
                    sum[2] += c & 0xFF;
                    n++;
                }
            full = full && n == 4;
            dst[size_t(cy) * cw + cx] =
                n ? 0xFF000000u | (sum[0] / n) << 16 | (sum[1] / n) << 8 | sum[2] / n : 0u;
        }
    }
    gr_image_pixels_unlock(coarse, true);
    gr_image_pixels_unlock(fine, false);
    return full;
}

// Replaces the non-opaque pixels of fine from coarse scaled up to its size.
// False when out of memory.
static bool gr__pull_level(gr_image_s* coarse, gr_image_s* fine) {
    const uint32_t w = gr_image_get_width(fine), h = gr_image_get_height(fine);
    gr_image_s* scaled = gr_filter_resize(coarse, w, h);
    if (!scaled)
        return false;
    const uint32_t* up = gr_image_pixels_lock(scaled);
    uint32_t* px = gr_image_pixels_lock(fine);
    for (size_t i = 0; i < size_t(w) * h; i++) {
        const uint32_t a = px[i] >> 24;
        if (a == 0)
            px[i] = up[i];
        else if (a != 255)
            px[i] = gr_color_lerp(up[i], px[i], float(a) / 255.0f);
    }
    gr_image_pixels_unlock(fine, true);
    gr_image_pixels_unlock(scaled, false);
    gr_image_release(scaled);
    return true;
}

gr_image_s* gr_filter_alpha_fill(gr_image_s* image) {
    const int max_levels = 12;
    gr_image_pixels_lock(image);
    gr_image_s* out = gr_image_duplicate(image);
    gr_image_pixels_unlock(image, false);
    if (!out || gr_image_get_width(out) == 0 || gr_image_get_height(out) == 0)
        return out;

    gr_image_s* levels[max_levels + 1] = {out};
    int count = 1;
    bool ok = true;
    while (count <= max_levels) {
        gr_image_s* top = levels[count - 1];
        if (gr_image_get_width(top) == 1 && gr_image_get_height(top) == 1)
            break;
        gr_image_s* coarse = nullptr;
        const bool full = gr__push_level(top, &coarse);
        if (!coarse) {
            ok = false;
            break;
        }
        levels[count++] = coarse;
        if (full)
            break;
    }
    for (int i = count - 1; i > 0; i--) {
        ok = ok && gr__pull_level(levels[i], levels[i - 1]);
        gr_image_release(levels[i]);
    }
    if (!ok) {
        gr_image_release(out);
        return nullptr;
    }
    return out;
}

// ---- bilateral ------------------------------------------------------------------------------

gr_image_s* gr_filter_bilateral(gr_image_s* image, int32_t radius, int32_t sigma) {
    SW_ASSERT(radius >= 0 && radius <= GR__GAUSSIAN_MAX_RADIUS, "radius out of range");
    SW_ASSERT(sigma >= 1, "sigma must be at least 1");
    const int32_t w = int32_t(gr_image_get_width(image)), h = int32_t(gr_image_get_height(image));
    const int32_t taps = 2 * radius + 1;
    float* c = gr__gaussianCoefficients(radius);
    float* spatial = static_cast<float*>(std::malloc(sizeof(float) * size_t(taps) * taps));
    gr_image_s* out = gr_image_create(w, h);
    if (!c || !spatial || !out) {
        std::free(c);
        std::free(spatial);
        gr_image_release(out);
        return nullptr;
    }
    const float norm = float(std::pow(4.0, radius));
    for (int32_t j = 0; j < taps; j++)
        for (int32_t i = 0; i < taps; i++)
            spatial[size_t(j) * taps + i] = (c[j] / norm) * (c[i] / norm);
    std::free(c);
    const double two_var = 2.0 * double(sigma);
    const double peak = 1.0 / std::sqrt(2.0 * std::numbers::pi * double(sigma));

    const uint32_t* src = gr_image_pixels_lock(image);
    uint32_t* dst = gr_image_pixels_lock(out);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            const gr_color_t centre = src[size_t(y) * w + x];
            double sum[3] = {0, 0, 0}, total = 0;
            for (int32_t j = -radius; j <= radius; j++) {
                const uint32_t* row = src + size_t(gr__clampi(y + j, 0, h - 1)) * w;
                for (int32_t i = -radius; i <= radius; i++) {
                    const gr_color_t s = row[gr__clampi(x + i, 0, w - 1)];
                    const double d = gr_color_diff(centre, s);
                    const double wt = spatial[size_t(j + radius) * taps + (i + radius)] *
                                      std::exp(-d * d / two_var) * peak;
                    sum[0] += wt * double((s >> 16) & 0xFF);
                    sum[1] += wt * double((s >> 8) & 0xFF);
                    sum[2] += wt * double(s & 0xFF);
                    total += wt;
                }
            }
            uint32_t ch[3];
            for (int k = 0; k < 3; k++)
                ch[k] = std::min(uint32_t((sum[k] + total * 0.5) / total), 255u);
            dst[size_t(y) * w + x] = 0xFF000000u | ch[0] << 16 | ch[1] << 8 | ch[2];
        }
    gr_image_pixels_unlock(out, true);
    gr_image_pixels_unlock(image, false);
    std::free(spatial);
    return out;
}

// ---- decimation -----------------------------------------------------------------------------

gr_image_s* gr_filter_decimate_median(gr_image_s* image, int32_t n) {
    if (n < 1)
        return nullptr;
    const uint32_t w = gr_image_get_width(image), h = gr_image_get_height(image);
    const uint32_t step = uint32_t(n);
    // One block's pixels: at most step x step, cut to the image.
    const size_t most = size_t(std::min(step, w)) * std::min(step, h);
    gr_color_t* block = static_cast<gr_color_t*>(std::malloc(sizeof(gr_color_t) * (most + 1)));
    gr_image_s* out = gr_image_create(int32_t(w), int32_t(h));
    if (!block || !out) {
        std::free(block);
        gr_image_release(out);
        return nullptr;
    }
    const uint32_t* src = gr_image_pixels_lock(image);
    uint32_t* dst = gr_image_pixels_lock(out);
    for (uint32_t by = 0; by < h; by += step)
        for (uint32_t bx = 0; bx < w; bx += step) {
            const uint32_t ex = bx + std::min(step, w - bx);
            const uint32_t ey = by + std::min(step, h - by);
            int count = 0;
            for (uint32_t y = by; y < ey; y++)
                for (uint32_t x = bx; x < ex; x++)
                    block[count++] = src[size_t(y) * w + x];
            const gr_color_t mean = gr_color_average(count, block);
            const gr_color_t pick = block[size_t(gr_color_nearest(mean, count, block))];
            for (uint32_t y = by; y < ey; y++)
                for (uint32_t x = bx; x < ex; x++)
                    dst[size_t(y) * w + x] = pick;
        }
    gr_image_pixels_unlock(out, true);
    gr_image_pixels_unlock(image, false);
    std::free(block);
    return out;
}

// ---- morphology -------------------------------------------------------------------------------

// Per channel the extreme (max when dilating) of RGB over the clamped 3 x 3
// neighbourhood; alpha 255.
static gr_image_s* gr__morph3(gr_image_s* image, bool dilate) {
    const int32_t w = int32_t(gr_image_get_width(image)), h = int32_t(gr_image_get_height(image));
    gr_image_s* out = gr_image_create(w, h);
    if (!out)
        return nullptr;
    const uint32_t* src = gr_image_pixels_lock(image);
    uint32_t* dst = gr_image_pixels_lock(out);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            uint32_t ext[3];
            for (int k = 0; k < 3; k++)
                ext[k] = dilate ? 0u : 255u;
            for (int32_t j = -1; j <= 1; j++)
                for (int32_t i = -1; i <= 1; i++) {
                    const gr_color_t c =
                        src[size_t(gr__clampi(y + j, 0, h - 1)) * w + gr__clampi(x + i, 0, w - 1)];
                    for (int k = 0; k < 3; k++) {
                        const uint32_t v = (c >> (16 - 8 * k)) & 0xFF;
                        ext[k] = dilate ? std::max(ext[k], v) : std::min(ext[k], v);
                    }
                }
            dst[size_t(y) * w + x] = 0xFF000000u | ext[0] << 16 | ext[1] << 8 | ext[2];
        }
    gr_image_pixels_unlock(out, true);
    gr_image_pixels_unlock(image, false);
    return out;
}

gr_image_s* gr_filter_dilate(gr_image_s* image) {
    return gr__morph3(image, true);
}

gr_image_s* gr_filter_erode(gr_image_s* image) {
    return gr__morph3(image, false);
}

// ---- normal map --------------------------------------------------------------------------------

gr_image_s* gr_filter_normalmap(gr_image_s* image, float strength) {
    // d/dx; d/dy is its transpose. Half of it sums to 23, so 1/46 gives 0.5
    // across a unit step.
    static const float kx[5][5] = {{-1, -2, 0, 2, 1},
                                   {-2, -3, 0, 3, 2},
                                   {-3, -4, 0, 4, 3},
                                   {-2, -3, 0, 3, 2},
                                   {-1, -2, 0, 2, 1}};
    const int32_t w = int32_t(gr_image_get_width(image)), h = int32_t(gr_image_get_height(image));
    const size_t count = size_t(w) * h;
    float* lum = static_cast<float*>(std::malloc(sizeof(float) * (count + 1)));
    gr_image_s* out = gr_image_create(w, h);
    if (!lum || !out) {
        std::free(lum);
        gr_image_release(out);
        return nullptr;
    }
    const uint32_t* src = gr_image_pixels_lock(image);
    for (size_t i = 0; i < count; i++)
        lum[i] = gr_color_brightness(src[i]);
    gr_image_pixels_unlock(image, false);

    uint32_t* dst = gr_image_pixels_lock(out);
    for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
            float dx = 0.0f, dy = 0.0f;
            for (int32_t j = 0; j < 5; j++) {
                const float* row = lum + size_t(gr__clampi(y + j - 2, 0, h - 1)) * w;
                for (int32_t i = 0; i < 5; i++) {
                    const float b = row[gr__clampi(x + i - 2, 0, w - 1)] / 46.0f;
                    dx += kx[j][i] * b;
                    dy += kx[i][j] * b;
                }
            }
            const float nx = dx * strength, ny = dy * strength;
            const float len = std::sqrt(nx * nx + ny * ny + 1.0f);
            uint32_t ch[3];
            const float n[3] = {nx / len, ny / len, 1.0f / len};
            for (int k = 0; k < 3; k++)
                ch[k] = gr__byte(127.5f * n[k] + 127.5f);
            dst[size_t(y) * w + x] = 0xFF000000u | ch[0] << 16 | ch[1] << 8 | ch[2];
        }
    gr_image_pixels_unlock(out, true);
    std::free(lum);
    return out;
}
