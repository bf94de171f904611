#pragma once
// Shared by the runner and view tests: polling with a deadline, a small dark
// picture and a runner on it.

#include <chrono>
#include <thread>
#include <vector>

#include "gr/gr_image.h"
#include "rd/rd_internal.h"
#include "rd/rd_runner.h"

namespace rd_test {

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

// A small dark picture with diagonal structure: dark keeps the radii at 3, so
// iterations are quick, also under the sanitizers.
inline gr_image_s* darkPicture(int w, int h) {
    std::vector<uint32_t> px((size_t)w * h);
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const uint32_t g = uint32_t((x * 3 + y * 2) % 40);
            px[(size_t)y * w + x] = 0xFF000000u | g << 16 | g << 8 | g;
        }
    return gr_image_create_pixels(w, h, px.data());
}

struct Runner {
    gr_image_s* image;
    rd_s* rd;
    explicit Runner(int w = 48, int h = 32) : image(darkPicture(w, h)), rd(rd_create(image)) {}
    ~Runner() {
        rd_destroy(rd);
        gr_image_release(image);
    }
    bool ready() {
        return waitFor([&] { return rd_is_ready(rd); });
    }
    // Pauses and waits until the worker sleeps: no iteration runs afterwards.
    bool pause() {
        rd_set_paused(rd, true);
        return waitFor([&] { return rd__runner_idle(rd); });
    }
    std::vector<float> field() {
        int32_t w = 0, h = 0;
        rd_get_size(rd, &w, &h);
        std::vector<float> out((size_t)w * h);
        rd__runner_copy_field(rd, out.data());
        return out;
    }
    bool edited() {
        return waitFor([&] { return rd__runner_pending(rd) == 0; });
    }
};

} // namespace rd_test
