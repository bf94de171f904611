#include "win/win.h"

#define GLFW_INCLUDE_NONE
#include <GLFW/glfw3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

#include "app/app_keys.h"
#include "app/app_log.h"
#include "app/app_main.h"
#include "ui/ui.h"
#include "ui/ui_theme.h"
#include "win/win_internal.h"

struct gr_window_s {
    gr_window_close_fn close_fn = nullptr;
    void* close_user = nullptr;
    gr_window_draw_fn draw_fn = nullptr;
    void* draw_user = nullptr;
    gr_window_drop_fn drop_fn = nullptr;
    void* drop_user = nullptr;
    gr_window_init_fn init_fn = nullptr;
    void* init_user = nullptr;

    GLFWwindow* glfw = nullptr;
    Context* context = nullptr;
    ui_s* ui = nullptr;
    bool attached = true; // the view's back pointer: cleared by destroy

    // The context lock: whoever holds it has the GL context current on its
    // thread. Frames, input, set-up and teardown take it, so they never overlap.
    std::recursive_mutex lock;
    int lock_depth = 0; // guarded by lock
    // Main-thread callers waiting for the lock: a frame thread that runs late
    // would otherwise take the lock back at once and starve input.
    std::atomic<int> waiting{0};

    int width = 0, height = 0; // points, guarded by lock
    float density = 1.0f;      // framebuffer pixels per point, guarded by lock

    std::thread frames;
    std::atomic<bool> stop_frames{false}; // read by the frame thread between frames
    double period = 1.0 / 60.0;
    // Frame times in milliseconds (drawing with the swap), kept when
    // SPOTWEAVE_FRAME_STATS is set and reported at closing. Frame thread only
    // until it is joined.
    bool keep_stats = false;
    std::vector<double> frame_ms;
    bool prepared = false;      // main thread only
    bool closing = false;       // main thread only: destroy called
    int pins = 0;               // main thread only: modal loops running on the window
    bool close_pending = false; // main thread only: the closing waits for the last pin
    int in_callback = 0;        // main thread only: depth of GLFW callbacks running
};

// ---- process-wide state: GLFW and the modal loop -------------------------

namespace {

// The modal loop runs on the main thread; finish may come from any thread.
std::atomic<bool> s_modal_finished{false};
std::atomic<int> s_modal_code{0};

std::atomic<int> s_windows{0};       // open windows; GLFW is up while > 0 (read by any thread)
thread_local char s_glfw_error[256]; // the last GLFW error of this thread

void win__on_error(int, const char* description) {
    snprintf(s_glfw_error, sizeof s_glfw_error, "%s", description);
    for (size_t n = strlen(s_glfw_error); n > 0 && s_glfw_error[n - 1] == ' ';)
        s_glfw_error[--n] = '\0';
}

void win__lock(gr_window_s* w) {
    w->waiting.fetch_add(1, std::memory_order_relaxed);
    w->lock.lock();
    w->waiting.fetch_sub(1, std::memory_order_relaxed);
    if (w->lock_depth++ == 0)
        glfwMakeContextCurrent(w->glfw);
}

void win__unlock(gr_window_s* w) {
    if (--w->lock_depth == 0)
        glfwMakeContextCurrent(nullptr);
    w->lock.unlock();
}

// Holds the lock around one piece of input and marks it as running inside a
// callback, so a destroy from the UI defers the closing.
struct InputScope {
    explicit InputScope(gr_window_s* w) : w(w) {
        win__lock(w);
        w->in_callback++;
    }
    ~InputScope() {
        w->in_callback--;
        win__unlock(w);
    }
    // The UI to deliver to, or null when none is mapped or the window is closing.
    ui_s* ui() const { return w->attached ? w->ui : nullptr; }
    gr_window_s* w;
};

gr_window_s* win__of(GLFWwindow* g) {
    return static_cast<gr_window_s*>(glfwGetWindowUserPointer(g));
}

} // namespace

// ---- input -------------------------------------------------------------------------

unsigned win__modifiers(int glfw_mods) {
    unsigned mods = 0;
    if (glfw_mods & GLFW_MOD_SHIFT)
        mods |= UI_MOD_SHIFT;
    if (glfw_mods & GLFW_MOD_CONTROL)
        mods |= UI_MOD_CONTROL;
    if (glfw_mods & GLFW_MOD_ALT)
        mods |= UI_MOD_ALT;
    return mods;
}

float win__magnification(double notches) {
    return float(std::pow(1.1, notches) - 1.0);
}

static int win__held_mods(GLFWwindow* g) {
    auto held = [g](int a, int b) {
        return glfwGetKey(g, a) == GLFW_PRESS || glfwGetKey(g, b) == GLFW_PRESS;
    };
    return (held(GLFW_KEY_LEFT_SHIFT, GLFW_KEY_RIGHT_SHIFT) ? GLFW_MOD_SHIFT : 0) |
           (held(GLFW_KEY_LEFT_CONTROL, GLFW_KEY_RIGHT_CONTROL) ? GLFW_MOD_CONTROL : 0) |
           (held(GLFW_KEY_LEFT_ALT, GLFW_KEY_RIGHT_ALT) ? GLFW_MOD_ALT : 0);
}

static void win__on_key(GLFWwindow* g, int key, int, int action, int mods) {
    unsigned code;
    if (!app_key_code(key, &code))
        return;
    InputScope scope(win__of(g));
    if (ui_s* ui = scope.ui()) {
        if (action == GLFW_RELEASE)
            ui_key_up(ui, code, win__modifiers(mods));
        else
            ui_key_down(ui, code, win__modifiers(mods));
    }
}

static void win__on_button(GLFWwindow* g, int button, int action, int mods) {
    double x, y;
    glfwGetCursorPos(g, &x, &y);
    if (action == GLFW_PRESS)
        glfwFocusWindow(g);
    InputScope scope(win__of(g));
    if (ui_s* ui = scope.ui()) {
        if (action == GLFW_PRESS)
            ui_mouse_down(ui, unsigned(button), win__modifiers(mods), float(x), float(y));
        else
            ui_mouse_up(ui, unsigned(button), win__modifiers(mods), float(x), float(y));
    }
}

static void win__on_cursor(GLFWwindow* g, double x, double y) {
    InputScope scope(win__of(g));
    if (ui_s* ui = scope.ui())
        ui_mouse_move(ui, win__modifiers(win__held_mods(g)), float(x), float(y));
}

// A wheel notch pans by this many points (across with Shift held); with
// Control held it zooms by 1.1.
constexpr float kScrollPoints = 20.0f;

static void win__on_scroll(GLFWwindow* g, double dx, double dy) {
    double x, y;
    glfwGetCursorPos(g, &x, &y);
    InputScope scope(win__of(g));
    ui_s* ui = scope.ui();
    if (!ui)
        return;
    const int mods = win__held_mods(g);
    if (mods & GLFW_MOD_CONTROL)
        ui_magnify(ui, float(x), float(y), win__magnification(dy));
    else if ((mods & GLFW_MOD_SHIFT) && dx == 0.0) // a plain wheel scrolls across
        ui_scroll(ui, float(x), float(y), float(dy) * kScrollPoints, 0.0f);
    else
        ui_scroll(ui, float(x), float(y), float(dx) * kScrollPoints, float(dy) * kScrollPoints);
}

static void win__on_drop(GLFWwindow* g, int count, const char** paths) {
    InputScope scope(win__of(g));
    gr_window_s* w = scope.w;
    if (w->attached && w->drop_fn)
        w->drop_fn(w->drop_user, count, paths);
}

// Runs the close callback from the main queue. It holds the lock like input
// does: the callback usually tears down what the frames draw.
static void win__run_close(void* user) {
    InputScope scope(static_cast<gr_window_s*>(user));
    gr_window_s* w = scope.w;
    if (w->attached && w->close_fn)
        w->close_fn(w->close_user);
}

static void win__on_close(GLFWwindow* g) {
    gr_window_s* w = win__of(g);
    // The window stays open: whoever owns it decides, from the main queue.
    glfwSetWindowShouldClose(g, GLFW_FALSE);
    if (w->attached && w->close_fn)
        app_main_post(win__run_close, w, w);
}

static void win__reshape(gr_window_s* w) {
    int ww, wh, fw, fh;
    glfwGetWindowSize(w->glfw, &ww, &wh);
    glfwGetFramebufferSize(w->glfw, &fw, &fh);
    std::lock_guard<std::recursive_mutex> guard(w->lock);
    w->width = ww;
    w->height = wh;
    w->density = ww > 0 ? float(fw) / float(ww) : 1.0f;
}

static void win__on_resize(GLFWwindow* g, int, int) {
    win__reshape(win__of(g));
}

// ---- frames ------------------------------------------------------------------------

static void win__draw(gr_window_s* w) {
    if (w->draw_fn) {
        w->draw_fn(w->draw_user, w->context, w->width, w->height, w->density);
        return;
    }
    if (!w->ui)
        return;
    gr_context_draw_begin(w->context, nullptr, w->width, w->height, int(w->density));
    gr_context_clear(w->context, ui_theme_color_fill());
    gr_debug_marker_push("draw ui");
    ui_draw(w->ui, w->context, 0, 0, float(w->width), float(w->height));
    gr_debug_marker_pop();
    gr_context_draw_end(w->context);
}

static void win__frame_thread(gr_window_s* w) {
    using clock = std::chrono::steady_clock;
    const auto period =
        std::chrono::duration_cast<clock::duration>(std::chrono::duration<double>(w->period));
    win__lock(w);
    glfwSwapInterval(1);
    win__unlock(w);
    auto next = clock::now();
    while (!w->stop_frames.load(std::memory_order_acquire)) {
        clock::duration swap_time{};
        win__lock(w);
        if (w->attached) {
            const auto start = clock::now();
            win__draw(w);
            const auto before = clock::now();
            glfwSwapBuffers(w->glfw);
            swap_time = clock::now() - before;
            if (w->keep_stats)
                w->frame_ms.push_back(
                    std::chrono::duration<double, std::milli>(clock::now() - start).count());
        }
        win__unlock(w);
        while (w->waiting.load(std::memory_order_relaxed) > 0)
            std::this_thread::yield();
        // Where swapping waits for the display it paces the frames by itself;
        // where it returns at once (a virtual X server) a timer does.
        const auto now = clock::now();
        next += period;
        if (swap_time > period / 4 || next < now)
            next = now;
        else
            std::this_thread::sleep_until(next);
    }
}

// Makes the render context, runs the init callback and starts the frames: once,
// on the main thread, before the first frame.
static void win__prepare(gr_window_s* w) {
    if (w->prepared)
        return;
    w->prepared = true;
    win__lock(w);
    w->context = gr_context_create();
    if (w->init_fn)
        w->init_fn(w->init_user, w->context);
    win__unlock(w);
    w->frames = std::thread(win__frame_thread, w);
}

// ---- lifecycle ---------------------------------------------------------------------

gr_window_s* gr_window_create(int width, int height, unsigned flags) {
    s_glfw_error[0] = '\0';
    if (s_windows == 0) {
        // Without a display named there is nothing to try (and the window
        // system's libraries are not even loaded).
        const char* display = std::getenv("DISPLAY");
        if (!display || !*display) {
            app_log("spotweave: cannot open a window: no display (DISPLAY is not set)\n");
            return nullptr;
        }
        glfwSetErrorCallback(win__on_error);
        if (!glfwInit()) {
            app_log("spotweave: cannot open a window: %s\n",
                    s_glfw_error[0] ? s_glfw_error : "the window system is not available");
            return nullptr;
        }
    }
    glfwDefaultWindowHints();
    glfwWindowHint(GLFW_CONTEXT_VERSION_MAJOR, 3);
    glfwWindowHint(GLFW_CONTEXT_VERSION_MINOR, 2);
    glfwWindowHint(GLFW_OPENGL_PROFILE, GLFW_OPENGL_CORE_PROFILE);
    glfwWindowHint(GLFW_OPENGL_FORWARD_COMPAT, GLFW_TRUE);
    glfwWindowHint(GLFW_DOUBLEBUFFER, GLFW_TRUE);
    glfwWindowHint(GLFW_DEPTH_BITS, 24);
    glfwWindowHint(GLFW_STENCIL_BITS, 8);
    glfwWindowHint(GLFW_RESIZABLE, (flags & GR_WINDOW_NO_RESIZE) ? GLFW_FALSE : GLFW_TRUE);
    glfwWindowHint(GLFW_VISIBLE, GLFW_FALSE);
    // X11 window managers keep their own close button; without one asked for,
    // a close request still arrives as the close callback.
    const int w0 = width > 0 ? width : 640, h0 = height > 0 ? height : 480;
    GLFWwindow* g = glfwCreateWindow(w0, h0, "spot/weave", nullptr, nullptr);
    if (!g) {
        app_log("spotweave: cannot open a window: %s\n",
                s_glfw_error[0] ? s_glfw_error : "no OpenGL 3.2 core context");
        if (s_windows == 0)
            glfwTerminate();
        return nullptr;
    }
    if (s_windows == 0)
        app_main_set_waker(glfwPostEmptyEvent);
    s_windows++;
    auto* w = new gr_window_s;
    w->glfw = g;
    const char* stats = std::getenv("SPOTWEAVE_FRAME_STATS");
    w->keep_stats = stats && *stats && std::strcmp(stats, "0") != 0;
    glfwSetWindowUserPointer(g, w);
    if (GLFWmonitor* monitor = glfwGetPrimaryMonitor()) {
        if (const GLFWvidmode* mode = glfwGetVideoMode(monitor)) {
            if (mode->refreshRate > 0)
                w->period = 1.0 / mode->refreshRate;
            glfwSetWindowPos(g, std::max(0, (mode->width - w0) / 2),
                             std::max(0, (mode->height - h0) / 2));
        }
    }
    glfwSetKeyCallback(g, win__on_key);
    glfwSetMouseButtonCallback(g, win__on_button);
    glfwSetCursorPosCallback(g, win__on_cursor);
    glfwSetScrollCallback(g, win__on_scroll);
    glfwSetDropCallback(g, win__on_drop);
    glfwSetWindowCloseCallback(g, win__on_close);
    glfwSetWindowSizeCallback(g, win__on_resize);
    glfwSetFramebufferSizeCallback(g, win__on_resize);
    win__reshape(w);
    glfwShowWindow(g);
    glfwFocusWindow(g);
    return w;
}

// Reports the frame times kept for SPOTWEAVE_FRAME_STATS.
static void win__report_frames(std::vector<double> ms) {
    if (ms.empty())
        return;
    std::sort(ms.begin(), ms.end());
    app_log("frames: %zu, drawing and swap: median %.2f ms, 99th percentile %.2f ms, worst "
            "%.2f ms\n",
            ms.size(), ms[ms.size() / 2], ms[ms.size() * 99 / 100], ms.back());
}

static void win__finish_closing(void* user) {
    auto* w = static_cast<gr_window_s*>(user);
    if (w->pins > 0) {
        // A modal loop still looks at the window; it finishes the closing.
        w->close_pending = true;
        return;
    }
    w->stop_frames.store(true, std::memory_order_release);
    if (w->frames.joinable())
        w->frames.join();
    if (w->keep_stats)
        win__report_frames(std::move(w->frame_ms));
    win__lock(w);
    gr_context_destroy(w->context);
    w->context = nullptr;
    win__unlock(w);
    glfwDestroyWindow(w->glfw);
    app_main_forget(w);
    delete w;
    if (--s_windows == 0) {
        app_main_set_waker(nullptr);
        glfwTerminate();
    }
}

void gr_window_destroy(gr_window_s* w) {
    if (!w || w->closing)
        return;
    w->closing = true;
    win__lock(w);
    w->attached = false;
    w->ui = nullptr;
    w->stop_frames.store(true, std::memory_order_release);
    win__unlock(w);
    glfwHideWindow(w->glfw);
    // GLFW windows cannot be destroyed inside their own callbacks: from there
    // the closing waits for the main queue.
    if (w->in_callback > 0)
        app_main_post(win__finish_closing, w, nullptr);
    else
        win__finish_closing(w);
}

Context* gr_window_get_context(gr_window_s* w) {
    std::lock_guard<std::recursive_mutex> guard(w->lock);
    return w->context;
}

int gr_window_modal_run(gr_window_s* w) {
    s_modal_finished.store(false);
    w->pins++;
    win__prepare(w);
    while (!s_modal_finished.load()) {
        glfwWaitEventsTimeout(0.25);
        app_main_drain();
    }
    const int code = s_modal_code.load();
    app_main_drain(); // closings posted by the last event
    if (!w->closing)
        glfwHideWindow(w->glfw);
    if (--w->pins == 0 && w->close_pending)
        win__finish_closing(w);
    return code;
}

void gr_window_modal_finish(gr_window_s*, int code) {
    s_modal_code.store(code);
    s_modal_finished.store(true);
    if (s_windows > 0)
        glfwPostEmptyEvent();
}

void gr_window_run_loop(gr_window_s*) {}

// ---- setters -------------------------------------------------------------------------

void gr_window_set_close_cb(gr_window_s* w, gr_window_close_fn fn, void* user) {
    std::lock_guard<std::recursive_mutex> guard(w->lock);
    w->close_fn = fn;
    w->close_user = user;
}

void gr_window_set_draw_cb(gr_window_s* w, gr_window_draw_fn fn, void* user) {
    std::lock_guard<std::recursive_mutex> guard(w->lock);
    w->draw_fn = fn;
    w->draw_user = user;
}

void gr_window_set_drop_cb(gr_window_s* w, gr_window_drop_fn fn, void* user) {
    std::lock_guard<std::recursive_mutex> guard(w->lock);
    w->drop_fn = fn;
    w->drop_user = user;
}

void gr_window_set_init_cb(gr_window_s* w, gr_window_init_fn fn, void* user) {
    std::lock_guard<std::recursive_mutex> guard(w->lock);
    w->init_fn = fn;
    w->init_user = user;
}

void gr_window_set_title(gr_window_s* w, const char* utf8) {
    glfwSetWindowTitle(w->glfw, utf8 ? utf8 : "");
}

void gr_window_set_ui(gr_window_s* w, ui_s* ui) {
    std::lock_guard<std::recursive_mutex> guard(w->lock);
    if (w->attached)
        w->ui = ui;
}

GLFWwindow* win__glfw(gr_window_s* w) {
    return w->glfw;
}
