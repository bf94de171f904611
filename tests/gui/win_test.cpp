// The real window under a private X server, driven with xdotool.

#include <gtest/gtest.h>

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>
#define GLFW_EXPOSE_NATIVE_X11
#include <GLFW/glfw3native.h>
#include <X11/Xlib.h>
#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "app/app_keys.h"
#include "app/app_resource.h"
#include "gr/gr_image.h"
#include "nanovg.h"
#include "ui/ui.h"
#include "ui_recorder.h"
#include "win/win.h"
#include "win/win_internal.h"

using namespace std::chrono_literals;

namespace {

Window x11Of(gr_window_s* w) {
    return glfwGetX11Window(win__glfw(w));
}

// Runs xdotool with x11 for every "%w" (taken on the main thread: the window may go first).
void xdotool(Window x11, std::string args) {
    const std::string id = std::to_string(x11);
    for (size_t at; (at = args.find("%w")) != std::string::npos;)
        args.replace(at, 2, id);
    ASSERT_EQ(std::system(("xdotool " + args).c_str()), 0) << args;
}

// Polls until done() holds, for at most five seconds.
template <typename F> bool eventually(F done) {
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(5ms);
    }
    return true;
}

// Runs the modal loop, ended with -1 after 20 s so that a stalled test fails.
int runModal(gr_window_s* w) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::thread dog([&] {
        std::unique_lock<std::mutex> lock(m);
        if (!cv.wait_for(lock, 20s, [&] { return done; }))
            gr_window_modal_finish(w, -1);
    });
    const int code = gr_window_modal_run(w);
    {
        std::lock_guard<std::mutex> guard(m);
        done = true;
    }
    cv.notify_all();
    dog.join();
    return code;
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        recorder_clear();
        recorder_on_mouse_down(nullptr);
        if (!std::getenv("DISPLAY")) {
            if (std::getenv("SW_CI"))
                FAIL() << "no X display";
            GTEST_SKIP() << "no X display";
        }
    }
};

TEST_F(WindowTest, DefaultSizeFramesPacedOffTheMainThread) {
    gr_window_s* w = gr_window_create(0, 0, 0);
    ASSERT_NE(w, nullptr);
    int ww = 0, wh = 0;
    glfwGetWindowSize(win__glfw(w), &ww, &wh);
    EXPECT_EQ(ww, 640);
    EXPECT_EQ(wh, 480);
    EXPECT_EQ(gr_window_get_context(w), nullptr); // made at the first run

    struct Frames {
        gr_window_s* w = nullptr;
        std::set<std::thread::id> threads;
        std::vector<std::chrono::steady_clock::time_point> times;
        int width = 0, height = 0;
        float density = 0;
    } f;
    f.w = w;
    gr_window_set_draw_cb(
        w,
        [](void* user, Context* c, int width, int height, float density) {
            auto* f = static_cast<Frames*>(user);
            f->threads.insert(std::this_thread::get_id());
            f->times.push_back(std::chrono::steady_clock::now());
            f->width = width, f->height = height, f->density = density;
            gr_context_draw_begin(c, nullptr, width, height, int(density));
            gr_context_clear(c, 0xFF202020);
            gr_context_draw_end(c);
            if (f->times.size() == 61)
                gr_window_modal_finish(f->w, 3);
        },
        &f);
    EXPECT_EQ(runModal(w), 3);
    gr_window_destroy(w);
    ASSERT_EQ(f.times.size(), 61u);
    EXPECT_EQ(f.threads.count(std::this_thread::get_id()), 0u);
    EXPECT_EQ(f.width, 640);
    EXPECT_EQ(f.height, 480);
    EXPECT_EQ(f.density, 1.0f);
    // Paced at Xvfb's 60 Hz, with room for a loaded machine.
    const double seconds = std::chrono::duration<double>(f.times.back() - f.times.front()).count();
    EXPECT_GT(60 / seconds, 20.0);
    EXPECT_LT(60 / seconds, 75.0);
}

TEST_F(WindowTest, InputArrivesInTheToolkitsTerms) {
    gr_window_s* w = gr_window_create(400, 300, 0);
    ASSERT_NE(w, nullptr);
    gr_window_set_ui(w, recorder_ui());
    const Window x11 = x11Of(w);
    std::atomic<bool> drawn{false};
    gr_window_set_draw_cb(
        w,
        [](void* user, Context*, int, int, float) {
            static_cast<std::atomic<bool>*>(user)->store(true);
        },
        &drawn);
    std::thread driver([&] {
        eventually([&] { return drawn.load(); });
        xdotool(x11, "windowfocus --sync %w mousemove --sync --window %w 100 50");
        xdotool(x11, "key s p space bracketleft bracketright Tab shift+a");
        xdotool(
            x11,
            "click 1 keydown ctrl click 4 keyup ctrl click 5 keydown shift click 4 keyup shift");
        eventually([] { return recorder_events().size() >= 25; });
        gr_window_modal_finish(w, 0);
    });
    runModal(w);
    driver.join();
    gr_window_destroy(w);

    std::vector<unsigned> downs, ups;
    std::vector<RecordedInput> rest;
    for (const RecordedInput& e : recorder_events()) {
        if (e.what == "key_down")
            downs.push_back(e.code | e.mods << 16);
        else if (e.what == "key_up")
            ups.push_back(e.code);
        else
            rest.push_back(e);
    }
    // S 1, P 35, space 49, then '[' ']' tab as characters; shift 56 arrives as
    // a key itself, then A 0 with the shift bit (4).
    const std::vector<unsigned> want = {1, 35, 49, 91, 93, 9, 56, 0 | 4u << 16, 59, 56};
    EXPECT_EQ(downs, want);
    EXPECT_EQ(ups.size(), want.size());
    ASSERT_EQ(rest.size(), 5u);
    EXPECT_EQ(rest[0].what, "mouse_down");
    EXPECT_EQ(rest[0].code, 0u);
    EXPECT_EQ(rest[0].x, 100.0f);
    EXPECT_EQ(rest[0].y, 50.0f);
    EXPECT_EQ(rest[1].what, "mouse_up");
    EXPECT_EQ(rest[2].what, "magnify"); // Ctrl + wheel up: zoom in by 1.1
    EXPECT_NEAR(rest[2].a, 0.1f, 1e-6);
    EXPECT_EQ(rest[3].what, "scroll"); // plain wheel down: pan by a notch
    EXPECT_EQ(rest[3].b, -20.0f);
    EXPECT_EQ(rest[3].x, 100.0f);
    EXPECT_EQ(rest[4].what, "scroll"); // Shift + wheel up: across
    EXPECT_EQ(rest[4].a, 20.0f);
    EXPECT_EQ(rest[4].b, 0.0f);
}

// A UI callback ends the loop and destroys the window while frames run and the pointer moves.
TEST_F(WindowTest, UiCallbackFinishesAndDestroysWhileFramesRun) {
    gr_window_s* w = gr_window_create(320, 240, GR_WINDOW_NO_CLOSE | GR_WINDOW_NO_RESIZE);
    ASSERT_NE(w, nullptr);
    gr_window_set_ui(w, recorder_ui()); // no draw callback: the UI is drawn
    const Window x11 = x11Of(w);
    std::atomic<int> draws_at_destroy{-1};
    recorder_on_mouse_down([&] {
        gr_window_modal_finish(w, 42);
        gr_window_destroy(w);
        draws_at_destroy = recorder_draws();
    });
    std::thread driver([&] {
        eventually([] { return recorder_draws() > 2; });
        xdotool(x11, "windowfocus --sync %w");
        std::string moves;
        for (int i = 0; i < 40; i++)
            moves += " mousemove --window %w " + std::to_string(10 + i * 5) + " " +
                     std::to_string(20 + i * 3);
        xdotool(x11, moves + " click 1");
    });
    EXPECT_EQ(runModal(w), 42);
    driver.join();
    ASSERT_GE(draws_at_destroy.load(), 3);
    EXPECT_EQ(recorder_draws(), draws_at_destroy.load());
    EXPECT_GE(recorder_events(true).size(), 10u); // the moves reached the UI before
}

// The close callback runs on the main thread from the main queue, and no frame overlaps it.
TEST_F(WindowTest, CloseRequestRunsTheCloseCallbackFromTheMainQueue) {
    gr_window_s* w = gr_window_create(0, 0, 0);
    ASSERT_NE(w, nullptr);
    struct Close {
        gr_window_s* w = nullptr;
        std::thread::id thread;
        std::atomic<bool> inside{false}, drawn{false};
        std::atomic<int> overlaps{0};
    } c;
    c.w = w;
    gr_window_set_close_cb(
        w,
        [](void* user) {
            auto* c = static_cast<Close*>(user);
            c->thread = std::this_thread::get_id();
            c->inside = true;
            std::this_thread::sleep_for(100ms); // several frames' time
            c->inside = false;
            gr_window_modal_finish(c->w, 7);
            gr_window_destroy(c->w);
        },
        &c);
    gr_window_set_draw_cb(
        w,
        [](void* user, Context*, int, int, float) {
            auto* c = static_cast<Close*>(user);
            c->drawn = true;
            c->overlaps += c->inside.load();
        },
        &c);
    const Window x11 = x11Of(w);
    std::thread driver([&] {
        eventually([&] { return c.drawn.load(); });
        // What a window manager sends when its close button is pressed.
        Display* display = XOpenDisplay(nullptr);
        XEvent e{};
        e.xclient.type = ClientMessage;
        e.xclient.window = x11;
        e.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
        e.xclient.format = 32;
        e.xclient.data.l[0] = long(XInternAtom(display, "WM_DELETE_WINDOW", False));
        e.xclient.data.l[1] = CurrentTime;
        XSendEvent(display, e.xclient.window, False, NoEventMask, &e);
        XCloseDisplay(display);
    });
    EXPECT_EQ(runModal(w), 7);
    driver.join();
    EXPECT_EQ(c.thread, std::this_thread::get_id());
    EXPECT_EQ(c.overlaps.load(), 0);
}

// The platform's drop, played through the callback the window installed.
TEST_F(WindowTest, DropsArriveOnceWithAllPaths) {
    gr_window_s* w = gr_window_create(0, 0, 0);
    ASSERT_NE(w, nullptr);
    std::vector<std::vector<std::string>> drops;
    gr_window_set_drop_cb(
        w,
        [](void* user, int count, const char** paths) {
            static_cast<std::vector<std::vector<std::string>>*>(user)->emplace_back(paths,
                                                                                    paths + count);
        },
        &drops);
    GLFWwindow* g = win__glfw(w);
    GLFWdropfun installed = glfwSetDropCallback(g, nullptr);
    glfwSetDropCallback(g, installed);
    const char* paths[] = {"/a/one.png", "/b/two.jpg", "/c/three.png"};
    installed(g, 3, paths);
    ASSERT_EQ(drops.size(), 1u);
    EXPECT_EQ(drops[0], std::vector<std::string>(paths, paths + 3));
    gr_window_destroy(w);
}

// The render context draws into the window; the frame is saved as gui_render_context.png.
TEST_F(WindowTest, RenderContextDrawsIntoTheWindow) {
    gr_window_s* w = gr_window_create(480, 320, 0);
    ASSERT_NE(w, nullptr);
    gr_window_set_title(w, "render context");
    struct Scene {
        gr_window_s* w = nullptr;
        gr_image_s* image = gr_image_create(64, 64);
        int frames = 0;
        std::vector<uint32_t> shot;
    } s;
    s.w = w;
    uint32_t* px = gr_image_pixels_lock(s.image);
    for (int y = 0; y < 64; y++)
        for (int x = 0; x < 64; x++)
            px[y * 64 + x] = 0xFF000000u | uint32_t(x * 4) << 16 | uint32_t(y * 4) << 8 | 0xC0;
    gr_image_pixels_unlock(s.image, true);
    gr_window_set_init_cb(
        w,
        [](void*, Context* c) {
            unsigned size = 0;
            void* font = app_resource_load("RobotoLight", &size);
            nvgCreateFontMem(gr__context_get(c), "text", static_cast<unsigned char*>(font),
                             int(size), 1);
        },
        nullptr);
    gr_window_set_draw_cb(
        w,
        [](void* user, Context* c, int width, int height, float density) {
            auto* s = static_cast<Scene*>(user);
            gr_context_draw_begin(c, nullptr, width, height, int(density));
            gr_context_clear(c, 0xFF484848);
            gr_context_stroke_weight(c, 2);
            gr_context_stroke_color(c, 0xFFFFFFFF);
            gr_context_fill_color(c, 0xFFD04040);
            gr_context_draw_rect(c, 20, 20, 120, 80);
            gr_context_fill_color(c, 0xFF40A040);
            gr_context_draw_roundrect(c, GR_CORNER_ALL, 160, 20, 120, 80, 16);
            gr_context_fill_color(c, 0x804040FF);
            gr_context_draw_roundrect(c, GR_CORNER_TOP_LEFT | GR_CORNER_BOTTOM_RIGHT, 300, 20, 160,
                                      80, 30);
            gr_context_draw_image(c, s->image, 20, 130, 128, 128);
            const float tri[] = {180, 260, 240, 140, 300, 260};
            gr_context_fill_color(c, 0xFFE0C020);
            gr_context_draw_poly(c, 3, tri);
            gr_context_draw_line(c, 320, 140, 460, 260);
            gr_context_fill_color(c, 0xFFFFFFFF);
            gr_context_text_font(c, "text", 22);
            gr_context_text(c, "spot/weave", 320, 270);
            gr_context_draw_end(c);
            if (++s->frames == 5) {
                s->shot.resize(size_t(width) * height);
                glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, s->shot.data());
                gr_window_modal_finish(s->w, 0);
            }
        },
        &s);
    runModal(w);
    gr_window_destroy(w);
    gr_image_release(s.image);
    ASSERT_EQ(s.shot.size(), 480u * 320u);
    std::vector<uint32_t> rows(s.shot.size()); // GL rows run bottom-up
    for (int y = 0; y < 320; y++)
        std::copy_n(&s.shot[size_t(319 - y) * 480], 480, &rows[size_t(y) * 480]);
    auto at = [&](int x, int y) { return rows[size_t(y) * 480 + x]; };
    EXPECT_EQ(at(80, 60), 0xFFD04040u);               // inside the rectangle
    EXPECT_EQ(at(220, 60), 0xFF40A040u);              // inside the round rectangle
    EXPECT_EQ(at(2, 2), 0xFF484848u);                 // background
    const uint32_t corner = at(21 + 64 * 2 - 4, 131); // image's top-right: red high, green low
    EXPECT_GT((corner >> 16) & 0xFF, 0xE0u);
    EXPECT_LT((corner >> 8) & 0xFF, 0x20u);
    gr_image_s* out = gr_image_create_pixels(480, 320, rows.data());
    EXPECT_TRUE(gr_image_save_file(out, SW_BINARY_DIR "/gui_render_context.png"));
    gr_image_release(out);
}

TEST(WindowWithoutDisplay, CreateFailsCleanly) {
    const char* display = std::getenv("DISPLAY");
    const std::string saved = display ? display : "";
    unsetenv("DISPLAY");
    testing::internal::CaptureStderr();
    gr_window_s* w = gr_window_create(0, 0, 0);
    const std::string err = testing::internal::GetCapturedStderr();
    if (!saved.empty())
        setenv("DISPLAY", saved.c_str(), 1);
    EXPECT_EQ(w, nullptr);
    EXPECT_NE(err.find("cannot open a window"), std::string::npos) << err;
    EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
}

TEST(WindowInput, ModifiersAndKeysMapToTheToolkitsNumbers) {
    EXPECT_EQ(win__modifiers(GLFW_MOD_SHIFT | GLFW_MOD_CONTROL | GLFW_MOD_ALT | GLFW_MOD_SUPER),
              UI_MOD_SHIFT | UI_MOD_CONTROL | UI_MOD_ALT);
    EXPECT_EQ(win__modifiers(GLFW_MOD_SUPER), 0u);
    const unsigned keys[][2] = {{GLFW_KEY_S, 1},
                                {GLFW_KEY_P, 35},
                                {GLFW_KEY_SPACE, 49},
                                {GLFW_KEY_ESCAPE, 53},
                                {GLFW_KEY_ENTER, 36},
                                {GLFW_KEY_LEFT, 123},
                                {GLFW_KEY_UP, 126},
                                {GLFW_KEY_LEFT_BRACKET, '['},
                                {GLFW_KEY_RIGHT_BRACKET, ']'},
                                {GLFW_KEY_TAB, '\t'},
                                {GLFW_KEY_KP_8, 91},
                                {GLFW_KEY_A, 0}};
    for (const auto& k : keys) {
        unsigned code = 999;
        EXPECT_TRUE(app_key_code(int(k[0]), &code));
        EXPECT_EQ(code, k[1]) << k[0];
    }
    unsigned untouched = 999;
    EXPECT_FALSE(app_key_code(GLFW_KEY_WORLD_1, &untouched));
    EXPECT_EQ(untouched, 999u);
    // A notch up and a notch down undo each other.
    EXPECT_NEAR((1 + win__magnification(1)) * (1 + win__magnification(-1)), 1.0f, 1e-6);
}

} // namespace
