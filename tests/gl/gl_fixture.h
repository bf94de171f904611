#pragma once
// Off-screen OpenGL 3.2 core on Mesa's surfaceless EGL (no X server), into a framebuffer object.
// Without such a context the tests skip, except under CI (SW_CI set), where they fail.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gr/gr_context.h"

// Makes the off-screen context current (made on first use) and binds a new width x height
// framebuffer (RGBA8, depth 24, stencil 8); false, with the reason in *why, without a context.
bool gl_offscreen_begin(int width, int height, const char** why);

// Deletes the framebuffer made by gl_offscreen_begin.
void gl_offscreen_end();

// Returns the framebuffer's pixels as 0xAARRGGBB words, top row first.
std::vector<uint32_t> gl_read_pixels(int width, int height);

// Whether every channel of got lies within tolerance of want (the blender rounds).
inline bool gl_near(uint32_t got, uint32_t want, int tolerance = 3) {
    for (int shift = 0; shift < 32; shift += 8) {
        const int a = int((got >> shift) & 0xFF), b = int((want >> shift) & 0xFF);
        if (a - b > tolerance || b - a > tolerance)
            return false;
    }
    return true;
}

// A test with a current kWidth x kHeight off-screen framebuffer and a render context on it.
class GlTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 64, kHeight = 64;

    void SetUp() override;
    void TearDown() override;

    // Replaces the framebuffer with one of w x h device pixels.
    void use_framebuffer(int w, int h);

    // The framebuffer after a frame of w x h points (0: its own) at density d, cleared, drawn.
    template <typename F>
    std::vector<uint32_t> frame(F draw, gr_color_t clear = 0xFF000000, int w = 0, int h = 0,
                                int d = 1) {
        gr_context_draw_begin(ctx, nullptr, w ? w : fb_w, h ? h : fb_h, d);
        gr_context_clear(ctx, clear);
        draw(ctx);
        gr_context_draw_end(ctx);
        return gl_read_pixels(fb_w, fb_h);
    }

    // The pixel at (x, y) of a frame, top-left origin.
    uint32_t at(const std::vector<uint32_t>& px, int x, int y) const { return px[y * fb_w + x]; }

    Context* ctx = nullptr;
    int fb_w = kWidth, fb_h = kHeight;
};
