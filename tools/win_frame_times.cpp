// Not a test: the median, 99th percentile and worst of 600 frames of a window
// drawing a 1024 x 1024 image that changes (is uploaded again) every frame,
// both the drawing (update, upload, draw, GPU finish) and the interval between
// frame starts. Run it under Xvfb.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "win/win.h"

namespace {

struct Probe {
    gr_window_s* window = nullptr;
    gr_image_s* image = nullptr;
    std::vector<double> busy, interval;
    std::chrono::steady_clock::time_point last{};
};

void draw(void* user, Context* c, int width, int height, float density) {
    using clock = std::chrono::steady_clock;
    auto* p = static_cast<Probe*>(user);
    const auto start = clock::now();
    if (p->last != clock::time_point{})
        p->interval.push_back(std::chrono::duration<double, std::milli>(start - p->last).count());
    p->last = start;
    uint32_t* px = gr_image_pixels_lock(p->image);
    const uint32_t shade = uint32_t(p->busy.size() * 3) & 0xFF;
    for (int i = 0; i < 1024 * 1024; i++)
        px[i] = 0xFF000000u | shade << 16 | uint32_t(i & 0xFF) << 8 | uint32_t((i >> 10) & 0xFF);
    gr_image_pixels_unlock(p->image, true);
    gr_context_draw_begin(c, nullptr, width, height, int(density));
    gr_context_clear(c, 0xFF000000);
    gr_context_draw_image(c, p->image, 0, 0, 1024, 1024);
    gr_context_draw_end(c);
    glFinish();
    p->busy.push_back(std::chrono::duration<double, std::milli>(clock::now() - start).count());
    if (p->busy.size() == 600)
        gr_window_modal_finish(p->window, 0);
}

void report(const char* what, std::vector<double> v) {
    std::sort(v.begin(), v.end());
    std::printf("%-28s median %6.2f ms   p99 %6.2f ms   worst %6.2f ms   (%zu frames)\n", what,
                v[v.size() / 2], v[v.size() * 99 / 100], v.back(), v.size());
}

} // namespace

int main() {
    Probe p;
    p.window = gr_window_create(1024, 1024, GR_WINDOW_NO_RESIZE);
    if (!p.window)
        return 1;
    p.image = gr_image_create(1024, 1024); // uploaded in the first frame, as in the dialog
    gr_window_set_draw_cb(p.window, draw, &p);
    gr_window_modal_run(p.window);
    gr_window_destroy(p.window);
    gr_image_release(p.image);
    report("drawing (update+upload+draw)", p.busy);
    report("interval between frames", p.interval);
    return 0;
}
