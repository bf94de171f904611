#pragma once
// Shared by the rd tests: pictures, solvers on them, polling with a deadline, a small runner.

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "gr/gr_complex.h"
#include "gr/gr_filter.h"
#include "gr/gr_image.h"
#include "rd/rd_internal.h"
#include "rd/rd_runner.h"
#include "rd/rd_solver.h"

namespace rd_test {

struct ImageRelease {
    void operator()(gr_image_s* image) const { gr_image_release(image); }
};
using Image = std::unique_ptr<gr_image_s, ImageRelease>;
using Solver = reaction_diffusion2<float>;

// An opaque picture of grey(x, y) & 255 in every channel.
inline Image greyImage(int w, int h, const std::function<uint32_t(int, int)>& grey) {
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint32_t g = grey(x, y) & 255u;
            px[(size_t)y * w + x] = 0xFF000000u | g << 16 | g << 8 | g;
        }
    return Image(gr_image_create_pixels(w, h, px.data()));
}

inline Image greyImage(int w, int h, uint32_t g) {
    return greyImage(w, h, [g](int, int) { return g; });
}

// A dark picture with diagonal structure: radii stay 3, iterations quick, sanitised too.
inline Image darkPicture(int w, int h) {
    return greyImage(w, h, [](int x, int y) { return uint32_t((x * 3 + y * 2) % 40); });
}

// A sample photograph scaled to w x h (null, with a failure, when missing).
inline Image photo(const char* name, uint32_t w, uint32_t h) {
    gr_image_s* image = gr_image_create_file((std::string(SW_TESTDATA_DIR "/") + name).c_str());
    EXPECT_NE(image, nullptr) << name;
    Image scaled(image ? gr_filter_resize(image, w, h) : nullptr);
    gr_image_release(image);
    return scaled;
}

// A solver referenced on the image, its tangents smoothed by `passes` flow passes (runner: 16).
inline std::unique_ptr<Solver> referenced(gr_image_s* image, int passes) {
    auto s =
        std::make_unique<Solver>((int)gr_image_get_width(image), (int)gr_image_get_height(image));
    s->set_reference(image);
    for (int i = 0; i < passes; i++)
        gr_complex_compute_etf(s->complex, 5);
    return s;
}

inline size_t cells(const Solver& s) {
    return (size_t)s.width * (size_t)s.height;
}

// Polls pred until it holds or the deadline passes; returns whether it held.
template <class Pred> inline bool waitFor(Pred pred, double seconds = 60.0) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (!pred()) {
        if (std::chrono::steady_clock::now() > end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

struct Runner {
    Image image;
    rd_s* rd;
    explicit Runner(int w = 48, int h = 32)
        : image(darkPicture(w, h)), rd(rd_create(image.get())) {}
    ~Runner() { rd_destroy(rd); }
    bool ready() {
        return waitFor([&] { return rd_is_ready(rd); });
    }
    // Waits until the worker sleeps (paused or at its limit): no iteration runs afterwards.
    bool idle() {
        return waitFor([&] { return rd__runner_idle(rd); });
    }
    bool pause() {
        rd_set_paused(rd, true);
        return idle();
    }
    std::vector<float> field() {
        int32_t w = 0, h = 0;
        rd_get_size(rd, &w, &h);
        std::vector<float> out((size_t)w * h);
        rd__runner_copy_field(rd, out.data());
        return out;
    }
    // Waits until the queued edits are applied.
    bool edited() {
        return waitFor([&] { return rd__runner_pending(rd) == 0; });
    }
};

} // namespace rd_test
