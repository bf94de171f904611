#pragma once
// UI toolkit: a retained tree of controls with message procedures, laid out
// and drawn once per frame, fed with input by the window.
//
// Positions and sizes are floats in window points, origin at the top left, y
// downward; a control's x, y are relative to its parent.
//
// Thread: the tree is touched under the window's context lock only (frames
// on the frame thread, input on the main thread).

#include <cstdint>

#include "gr/gr_image.h"

struct ui_s;
struct uic_s;
struct ui_model_s;

// Modifier bits of key and mouse input.
enum : unsigned {
    UI_MOD_ALT = 1,
    UI_MOD_CONTROL = 2,
    UI_MOD_SHIFT = 4,
};

// ---- messages --------------------------------------------------------------------

// A control's message procedure: returns non-zero when it handled the message.
typedef int (*uic_proc)(uic_s* control, int message, void* data);

// The message set; the comment names what data points to.
enum : int {
    UIC_MSG_CREATE = 0,       // null, or the user pointer of ui_add_custom
    UIC_MSG_DESTROY = 1,      // null; sent after the children are freed
    UIC_MSG_SETUP = 2,        // the control type's setup record
    UIC_MSG_KEY_DOWN = 3,     // uic_key_s
    UIC_MSG_KEY_UP = 4,       // uic_key_s
    UIC_MSG_MAGNIFY = 5,      // uic_gesture_s
    UIC_MSG_ROTATE = 6,       // uic_gesture_s
    UIC_MSG_SCROLL = 7,       // uic_scroll_s
    UIC_MSG_MOUSE_ENTER = 8,  // null
    UIC_MSG_MOUSE_LEAVE = 9,  // null
    UIC_MSG_MOUSE_DOWN = 10,  // uic_mouse_s
    UIC_MSG_MOUSE_MOVE = 11,  // uic_mouse_s, button 0
    UIC_MSG_MOUSE_UP = 12,    // uic_mouse_s
    UIC_MSG_STYLUS_MOVE = 13, // uic_stylus_s
    UIC_MSG_LAYOUT = 14,      // uic_layout_s
    UIC_MSG_MEASURE = 15,     // uic_measure_s
    UIC_MSG_DRAW = 16,        // uic_draw_s
    UIC_MSG_SET_ICON = 1000,  // const char*: one glyph code of the "icon" font
    UIC_MSG_SET_TEXT = 1001,  // const char**: the new text
};

// A key event: platform key code and modifier bits.
struct uic_key_s {
    uint32_t key;
    uint32_t modifiers;
};

// A mouse event in the receiver's local frame; button 0 is the primary one.
struct uic_mouse_s {
    float x, y;
    uint32_t button;
    uint32_t modifiers;
};

// A pinch (amount = magnification step) or rotation gesture.
struct uic_gesture_s {
    float x, y;
    float amount;
};

// A scroll event with its deltas as delivered by the window.
struct uic_scroll_s {
    float x, y;
    float dx, dy;
};

// A stylus move; a, b, c are passed through in the caller's order.
struct uic_stylus_s {
    float x, y;
    float a, b, c;
};

// Layout request: context is the render context (may be null), x and y are 0,
// width and height the control's own size.
struct uic_layout_s {
    void* context;
    float x, y;
    float width, height;
};

// Size request: on entry the space offered, on return the preferred size (a
// negative component means no preference).
struct uic_measure_s {
    void* context;
    float width, height;
};

// Draw request: the transform is already at the control's top-left corner;
// mouse_x, mouse_y are the last mouse position in the local frame (infinite
// before the first mouse event).
struct uic_draw_s {
    void* context;
    float width, height;
    float mouse_x, mouse_y;
};

// A point, a size and a rectangle passed by value.
struct ui_point_s {
    float x, y;
};
struct ui_size_s {
    float width, height;
};
struct ui_rect_s {
    float x, y, width, height;
};

// ---- the UI object ---------------------------------------------------------------------

// Returns a new UI bound to model (not owned; it must outlive the UI) with an
// empty root container. Owns: caller (ui_destroy).
ui_s* ui_create(ui_model_s* model);

// Frees the whole tree (children before parents), the hot keys and the UI;
// null does nothing. The model is left alone.
void ui_destroy(ui_s* ui);

// Places the root at (x, y, width, height), lays the tree out and draws it
// through context (a Context*). Called once per frame between the render
// context's begin and end of frame.
void ui_draw(ui_s* ui, void* context, float x, float y, float width, float height);

// Places the root and runs only the layout pass. context may be null: texts
// then measure as empty, which is how the toolkit is exercised without GL.
void ui_layout_run(ui_s* ui, void* context, float x, float y, float width, float height);

// Returns the model given to ui_create.
ui_model_s* ui_model_get(ui_s* ui);

// Returns the control's rectangle in window coordinates.
ui_rect_s ui_frame_get(ui_s* ui, uic_s* control);

// Calls the control's procedure and returns its result; ui is not used.
int ui_msg_send(ui_s* ui, uic_s* control, int message, void* data);

// Adds a control driven by proc to the current parent: it receives
// UIC_MSG_CREATE with user as data, and never UIC_MSG_SETUP. Returns it.
uic_s* ui_add_custom(ui_s* ui, uic_proc proc, void* user);

// ---- controls ---------------------------------------------------------------------------

// Returns the control's owning UI.
ui_s* uic_get_ui(uic_s* control);

// Returns the model key the control is bound to, or null.
const char* uic_get_binding(uic_s* control);

// Returns the width of the control's area (after padding).
float uic_get_width(uic_s* control);

// Returns the height of the control's area (after padding).
float uic_get_height(uic_s* control);

// Returns the control's layout weight.
float uic_get_layout_weight(uic_s* control);

// Writes the forced width and height to out[2] and returns true when both are
// non-zero; otherwise returns false and leaves out alone.
bool uic_get_forced_dims(uic_s* control, float out[2]);

// Stores the procedure's private state pointer.
void uic_cookie_set(uic_s* control, void* cookie);

// Returns the procedure's private state pointer.
void* uic_cookie_get(uic_s* control);

// Returns the first child of parent when previous is null, else the sibling
// after previous; null at the end.
uic_s* uic_child_next(uic_s* parent, uic_s* previous);

// Gives the control the outer rectangle (position, size) inside its parent,
// shrunk by its padding. The one way containers set a child's geometry.
void uic_place(uic_s* control, ui_point_s position, ui_size_s size);

// Returns the union of the children's rectangles in the control's frame;
// (0, 0, 0, 0) without children. Children of zero size do not widen it.
ui_rect_s uic_get_child_bounds(uic_s* control);

// Returns p (local to the control) in window coordinates.
ui_point_s uic_local_to_screen(uic_s* control, ui_point_s p);

// Converts the window point (*x, *y) into the control's local frame in place.
void uic_screen_to_local(uic_s* control, float* x, float* y);

// Makes the control the mouse capture holder, replacing any other.
void uic_mouse_capture(uic_s* control);

// Returns whether the control holds the mouse capture.
bool uic_mouse_captured(uic_s* control);

// Clears the capture if (and only if) this control holds it.
void uic_mouse_release(uic_s* control);

// Calls the control's procedure and returns its result.
int uic_msg_send(uic_s* control, int message, void* data);

// Unlinks a non-root control from its parent and frees its subtree; the
// capture and hover fall back to nothing when they were in it.
void uic_remove(uic_s* control);

// Removes every child of the control, first to last.
void uic_child_clear(uic_s* control);

// The input entry points the window calls (ui_key_down, ui_mouse_move, ...).
#include "ui/ui_input.h"
