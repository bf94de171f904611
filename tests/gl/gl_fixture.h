#pragma once
// Off-screen OpenGL for drawing tests: an OpenGL 3.2 core context of Mesa's
// surfaceless EGL platform (no X server) rendering into a framebuffer object.
// Without such a context the tests skip, except under CI (SW_CI set), where
// they fail.

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

#include "gr/gr_context.h"

// Makes the process's off-screen context current (created on first use) and
// binds a new width x height framebuffer (RGBA8 colour, depth 24, stencil 8).
// Returns false, with the reason in *why, when no context can be made.
bool gl_offscreen_begin(int width, int height, const char** why);

// Deletes the framebuffer made by gl_offscreen_begin.
void gl_offscreen_end();

// Returns the framebuffer's pixels as 0xAARRGGBB words, top row first.
std::vector<uint32_t> gl_read_pixels(int width, int height);

// A test with a current off-screen framebuffer of kWidth x kHeight device
// pixels and a render context on it.
class GlTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 64, kHeight = 64;

    void SetUp() override;
    void TearDown() override;

    // Runs one frame of w x h points at density d, cleared to clear, with draw
    // called inside it; returns the framebuffer afterwards.
    template <typename F>
    std::vector<uint32_t> frame(F draw, gr_color_t clear = 0xFF000000, int w = kWidth,
                                int h = kHeight, int d = 1) {
        gr_context_draw_begin(ctx, nullptr, w, h, d);
        gr_context_clear(ctx, clear);
        draw(ctx);
        gr_context_draw_end(ctx);
        return gl_read_pixels(kWidth, kHeight);
    }

    // The pixel at (x, y) of a frame, top-left origin.
    static uint32_t at(const std::vector<uint32_t>& px, int x, int y) { return px[y * kWidth + x]; }

    Context* ctx = nullptr;
};
