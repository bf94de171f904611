#pragma once
// The program's top-level window: one OpenGL 3.2 core view drawn every
// display refresh on a frame thread of its own through the render context,
// with mouse, key, scroll and file-drop input handed to the UI toolkit, and
// an application-modal loop that ends with a code.
//
// Thread: create, destroy, the setters and the modal loop on the main thread.
// Frames run on the window's frame thread; input, the init and drop callbacks
// on the main thread; all of them under the window's recursive context lock,
// so frames and input never overlap. The close callback runs from the main
// queue, also under the lock.

#include "gr/gr_context.h"

struct gr_window_s;
struct ui_s;

typedef void (*gr_window_close_fn)(void* user);
typedef void (*gr_window_draw_fn)(void* user, Context* context, int width, int height,
                                  float density);
typedef void (*gr_window_drop_fn)(void* user, int count, const char** paths);
typedef void (*gr_window_init_fn)(void* user, Context* context);

// Window flags for gr_window_create.
enum : unsigned {
    GR_WINDOW_NO_CLOSE = 1,  // no close button
    GR_WINDOW_NO_RESIZE = 2, // fixed size
};

// Opens and shows a centred window of width x height points (0: 640 x 480)
// titled "spot/weave". Returns null, with one line on standard error, when no
// window or OpenGL 3.2 core context can be had (no display, for instance).
// Owns: caller (gr_window_destroy).
gr_window_s* gr_window_create(int width, int height, unsigned flags);

// Detaches the window from its UI and callbacks at once (a late frame draws
// nothing, no input reaches the UI), then stops its frame thread and closes
// it. Called from inside one of the window's own callbacks, the closing
// finishes on the main queue. Null does nothing.
void gr_window_destroy(gr_window_s* window);

// Returns the window's render context (null before the window has a context).
Context* gr_window_get_context(gr_window_s* window);

// Runs the modal loop: prepares the window on first use (render context, init
// callback, frame thread), then handles input and main-queue tasks until
// gr_window_modal_finish; hides the window and returns the code given there.
int gr_window_modal_run(gr_window_s* window);

// Ends the running modal loop with code after the current event. The window
// is not used. Thread: any.
void gr_window_modal_finish(gr_window_s* window, int code);

// Does nothing: the modal loop is the only loop.
void gr_window_run_loop(gr_window_s* window);

// Store the callback pairs.
void gr_window_set_close_cb(gr_window_s* window, gr_window_close_fn fn, void* user);
void gr_window_set_draw_cb(gr_window_s* window, gr_window_draw_fn fn, void* user);
void gr_window_set_drop_cb(gr_window_s* window, gr_window_drop_fn fn, void* user);
void gr_window_set_init_cb(gr_window_s* window, gr_window_init_fn fn, void* user);

// Sets the title shown in the window manager's title bar (UTF-8).
void gr_window_set_title(gr_window_s* window, const char* utf8);

// Maps input to ui (null: input goes nowhere). Without a draw callback each
// frame clears to the theme's fill colour and draws ui.
void gr_window_set_ui(gr_window_s* window, ui_s* ui);
