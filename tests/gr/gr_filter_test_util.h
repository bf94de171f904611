#pragma once
// Helpers shared by the gr tests: images and analyses that release
// themselves, the sample photos, pixel access and channel picks.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "gr/gr_complex.h"
#include "gr/gr_image.h"
#include "gr/gr_internal.h"

namespace grt {

struct Release {
    void operator()(gr_image_s* image) const { gr_image_release(image); }
    void operator()(gr_complex* cx) const { gr_complex_destroy(cx); }
};
using Image = std::unique_ptr<gr_image_s, Release>;
using Complex = std::unique_ptr<gr_complex, Release>;

// f(x, y) gives each pixel.
inline Image painted(uint32_t w, uint32_t h, const std::function<gr_color_t(int, int)>& f) {
    std::vector<uint32_t> px(size_t(w) * h);
    for (uint32_t y = 0; y < h; y++)
        for (uint32_t x = 0; x < w; x++)
            px[size_t(y) * w + x] = f(int(x), int(y));
    return Image(gr_image_create_pixels(int32_t(w), int32_t(h), px.data()));
}

inline Image filled(uint32_t w, uint32_t h, gr_color_t c) {
    return painted(w, h, [c](int, int) { return c; });
}

// Random colours from seed; opaque unless asked otherwise.
inline Image random_image(uint32_t w, uint32_t h, uint32_t seed, bool opaque = true) {
    std::mt19937 rng(seed);
    return painted(w, h, [&](int, int) { return gr_color_t(rng()) | (opaque ? 0xFF000000u : 0u); });
}

// One of the sample photos at its own size.
inline Image photo(const char* name) {
    Image image(gr_image_create_file((std::string(SW_TESTDATA_DIR "/") + name).c_str()));
    EXPECT_TRUE(image) << name;
    return image;
}

inline std::vector<uint32_t> pixels(const gr_image_s* image) {
    const size_t n = size_t(image->width) * image->height;
    return std::vector<uint32_t>(image->pixels, image->pixels + n);
}

// Takes a filter's result and returns its pixels (none when it failed).
inline std::vector<uint32_t> result(gr_image_s* image) {
    Image owned(image);
    EXPECT_NE(image, nullptr);
    return image ? pixels(image) : std::vector<uint32_t>();
}

inline gr_color_t at(const gr_image_s* image, uint32_t x, uint32_t y) {
    return image->pixels[size_t(y) * image->width + x];
}

// Channel picks, and the opaque grey of level g.
inline constexpr auto red = [](gr_color_t c) { return int((c >> 16) & 0xFF); };
inline constexpr auto green = [](gr_color_t c) { return int((c >> 8) & 0xFF); };
inline constexpr auto blue = [](gr_color_t c) { return int(c & 0xFF); };
inline constexpr auto alpha = [](gr_color_t c) { return int(c >> 24); };
inline constexpr auto grey = [](int g) { return 0xFF000000u | uint32_t(g) * 0x010101u; };

// Largest difference over red, green and blue.
inline int max_rgb_error(gr_color_t a, gr_color_t b) {
    return std::max(
        {std::abs(red(a) - red(b)), std::abs(green(a) - green(b)), std::abs(blue(a) - blue(b))});
}

// The analysis by the public calls: tensor radius sst_radius, `passes` flow passes of etf_radius.
inline Complex analyse(gr_image_s* image, int sst_radius, int passes = 0, int etf_radius = 5) {
    Complex cx(gr_complex_create(image));
    gr_complex_compute_sst(cx.get(), sst_radius, nullptr, nullptr);
    for (int i = 0; i < passes; i++)
        gr_complex_compute_etf(cx.get(), etf_radius);
    return cx;
}

inline std::vector<float> plane(const float* p, const gr_complex* cx) {
    return std::vector<float>(p, p + size_t(cx->width) * size_t(cx->height));
}

// Binomial smoothing of a w x h plane by its definition: clamped taps summed in order, times
// 1 / sum; rows first, then columns.
inline std::vector<float> clamped_binomial(const std::vector<float>& source, int32_t w, int32_t h,
                                           int32_t r) {
    float* c = gr__gaussianCoefficients(r);
    float sum = 0.0f;
    for (int32_t k = 0; k <= 2 * r; k++)
        sum += c[k];
    auto pass = [&](const std::vector<float>& in, int32_t dx, int32_t dy) {
        std::vector<float> out(in.size());
        for (int32_t y = 0; y < h; y++)
            for (int32_t x = 0; x < w; x++) {
                float s = 0.0f;
                for (int32_t k = -r; k <= r; k++)
                    s += in[size_t(std::clamp(y + k * dy, 0, h - 1) * w +
                                   std::clamp(x + k * dx, 0, w - 1))] *
                         c[r + k];
                out[size_t(y * w + x)] = s * (1.0f / sum);
            }
        return out;
    };
    const std::vector<float> out = pass(pass(source, 1, 0), 0, 1);
    std::free(c);
    return out;
}

// Counts 'lock' and 'unlk' messages and the changed flags an image reports.
struct LockLog {
    int locks = 0;
    int unlocks = 0;
    int changed = 0;

    static void cb(void* ctx, uint32_t msg, void* data) {
        LockLog* log = static_cast<LockLog*>(ctx);
        if (msg == GR_IMAGE_MSG_LOCK)
            log->locks++;
        if (msg == GR_IMAGE_MSG_UNLK) {
            log->unlocks++;
            log->changed += *static_cast<unsigned char*>(data) ? 1 : 0;
        }
    }
    void watch(gr_image_s* image) { gr_image_attach(image, 0x7465737475746CULL, cb, this); }
};

} // namespace grt
