// Signed distance fields from 8-bit coverage, and back.
//
// The field is built from two exact Euclidean distance transforms of the
// coverage thresholded at one half: the distance of every outside pixel to the
// nearest inside pixel centre, and of every inside pixel to the nearest
// outside one. Each transform is the Felzenszwalb-Huttenlocher lower envelope
// of parabolas, run over the rows and then over the columns, so it costs
// O(width x height) whatever the shapes. The edge lies half a pixel short of
// the nearest pixel of the other side; pixels on the edge that are partly
// covered place it from their own coverage instead (coverage a puts the edge
// 0.5 - a from the centre), which keeps anti-aliased outlines smooth.

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <limits>

#include "gr/gr_filter.h"
#include "gr/gr_memory.h"

// Stands for "no seed in reach"; far above any squared distance in an image
// whose pixel count fits 32 bits, yet finite, so the envelope arithmetic
// stays clean.
static constexpr float GR__EDT_FAR = 1e20f;

// Field spread in pixels: the 8-bit field covers -spread..+spread.
static constexpr float GR__SDF_SPREAD = 8.0f;

// Squared distance transform of one line of n samples f (0 at seeds,
// GR__EDT_FAR elsewhere, or the result of an earlier pass): d[q] = min over p of
// (q - p)^2 + f[p]. v and z are scratch of n and n + 1 entries.
static void gr__edt_line(const float* f, int32_t n, float* d, int32_t* v, double* z) {
    const double inf = std::numeric_limits<double>::infinity();
    int32_t k = 0;
    v[0] = 0;
    z[0] = -inf;
    z[1] = inf;
    for (int32_t q = 1; q < n; q++) {
        double s;
        for (;;) {
            const int32_t p = v[k];
            // Where the parabola rooted at q overtakes the one rooted at p.
            s = ((double(f[q]) + double(q) * q) - (double(f[p]) + double(p) * p)) /
                (2.0 * double(q - p));
            if (s > z[k])
                break;
            k--; // z[0] is -inf, so k never drops below 0
        }
        k++;
        v[k] = q;
        z[k] = s;
        z[k + 1] = inf;
    }
    k = 0;
    for (int32_t q = 0; q < n; q++) {
        while (z[k + 1] < double(q))
            k++;
        const double dq = double(q - v[k]);
        d[q] = float(dq * dq + double(f[v[k]]));
    }
}

// Scratch of the line transforms, for lines of up to n samples.
struct gr__edt_scratch_s {
    float* line; // n
    float* out;  // n
    int32_t* v;  // n
    double* z;   // n + 1
};

// Squared Euclidean distance transform of a w x h plane in place: rows, then
// columns; scratch holds lines of max(w, h).
static void gr__edt_plane(float* plane, int32_t w, int32_t h, const gr__edt_scratch_s& t) {
    for (int32_t y = 0; y < h; y++) {
        float* row = plane + size_t(y) * w;
        gr__edt_line(row, w, t.out, t.v, t.z);
        std::copy(t.out, t.out + w, row);
    }
    for (int32_t x = 0; x < w; x++) {
        for (int32_t y = 0; y < h; y++)
            t.line[size_t(y)] = plane[size_t(y) * w + x];
        gr__edt_line(t.line, h, t.out, t.v, t.z);
        for (int32_t y = 0; y < h; y++)
            plane[size_t(y) * w + x] = t.out[size_t(y)];
    }
}

gr_image_s* gr_filter_distfield(gr_image_s* image) {
    const int32_t w = int32_t(gr_image_get_width(image)), h = int32_t(gr_image_get_height(image));
    const size_t count = size_t(w) * h, len = size_t(std::max(w, h));
    // One block for the three planes and the line scratch.
    const size_t floats = 3 * count + 2 * len, ints = len, doubles = len + 1;
    double* block = static_cast<double*>(gr_memory_alloc(
        sizeof(double) * doubles + sizeof(float) * floats + sizeof(int32_t) * ints));
    gr_image_s* out = gr_image_create(w, h);
    if (!block || !out) {
        std::free(block);
        gr_image_release(out);
        return nullptr;
    }
    float* cover = reinterpret_cast<float*>(block + doubles);
    float* to_inside = cover + count;
    float* to_outside = to_inside + count;
    const gr__edt_scratch_s scratch = {to_outside + count, to_outside + count + len,
                                       reinterpret_cast<int32_t*>(to_outside + count + 2 * len),
                                       block};
    const uint32_t* src = gr_image_pixels_lock(image);
    for (size_t i = 0; i < count; i++) {
        cover[i] = float(255 - ((src[i] >> 8) & 0xFF)) / 255.0f;
        const bool inside = cover[i] >= 0.5f;
        to_inside[i] = inside ? 0.0f : GR__EDT_FAR;
        to_outside[i] = inside ? GR__EDT_FAR : 0.0f;
    }
    gr_image_pixels_unlock(image, false);
    if (count > 0) {
        gr__edt_plane(to_inside, w, h, scratch);
        gr__edt_plane(to_outside, w, h, scratch);
    }

    uint32_t* dst = gr_image_pixels_lock(out);
    for (size_t i = 0; i < count; i++) {
        const bool inside = cover[i] >= 0.5f;
        const float d2 = inside ? to_outside[i] : to_inside[i];
        // Signed distance in pixels, positive outside the shape.
        float sd = inside ? 0.5f - std::sqrt(d2) : std::sqrt(d2) - 0.5f;
        if (d2 <= 2.0f && cover[i] > 0.0f && cover[i] < 1.0f)
            sd = 0.5f - cover[i];
        // Field: 255 deep inside, 128 on the edge, 0 a spread outside.
        const float field =
            std::clamp(std::floor(128.0f - sd * (128.0f / GR__SDF_SPREAD) + 0.5f), 0.0f, 255.0f);
        const uint32_t g = 255u - uint32_t(field);
        dst[i] = 0xFF000000u | g << 16 | g << 8 | g;
    }
    gr_image_pixels_unlock(out, true);
    std::free(block);
    return out;
}

gr_image_s* gr_filter_distfield_inv(gr_image_s* image, float spread) {
    const int32_t w = int32_t(gr_image_get_width(image)), h = int32_t(gr_image_get_height(image));
    const size_t count = size_t(w) * h;
    gr_image_s* out = gr_image_create(w, h);
    if (!out)
        return nullptr;
    const uint32_t* src = gr_image_pixels_lock(image);
    uint32_t* dst = gr_image_pixels_lock(out);
    for (size_t i = 0; i < count; i++) {
        const float green = float((src[i] >> 8) & 0xFF);
        float k;
        if (spread > 0.0f && std::isfinite(spread))
            k = std::clamp((green - (128.0f - spread)) / (2.0f * spread), 0.0f, 1.0f);
        else // no band: a hard threshold rather than a division by zero
            k = green >= 128.0f ? 1.0f : 0.0f;
        const uint32_t g = std::min(uint32_t(255.0f * k * k * (3.0f - 2.0f * k)), 255u);
        dst[i] = 0xFF000000u | g << 16 | g << 8 | g;
    }
    gr_image_pixels_unlock(out, true);
    gr_image_pixels_unlock(image, false);
    return out;
}
