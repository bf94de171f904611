#pragma once
// Shared inside ui/ only: the node and UI records, the adding steps, the
// model helpers of bound controls, and the drawing helpers the controls share.

#include <cstddef>
#include <cstdint>

#include "ui/ui.h"
#include "ui/ui_input.h"
#include "ui/ui_model.h"

// One control node, zero-filled on allocation.
struct uic_s {
    char* binding; // heap copy of the bound model key, or null
    uic_s* first_child;
    void* cookie; // the procedure's private state
    uic_s* next;  // next sibling; later siblings draw on top and win hit tests
    uic_s* parent;
    uic_proc proc;
    ui_s* ui;
    float x, y;          // top-left inside the parent, after padding
    float width, height; // after padding
    float weight;
    float pad_left, pad_top, pad_right, pad_bottom;
    float forced_width, forced_height;
};

// One hot key; the list is newest first.
struct ui_hotkey_s {
    ui_hotkey_s* next;
    ui_hotkey_cb callback;
    void* user;
    uint32_t key;
    uint32_t modifiers;
};

enum : int { UI__STACK_SIZE = 17 };

// The UI object, zero-filled on allocation.
struct ui_s {
    ui_hotkey_s* hotkeys;
    ui_model_s* model; // not owned
    uic_s* captured;
    uic_s* hover;
    float mouse_x, mouse_y;       // +infinity until the first mouse event
    uic_s* stack[UI__STACK_SIZE]; // 0: the root; 1..depth: open containers
    int32_t depth;
    float weight; // pending layout weight
};

// ---- tree ------------------------------------------------------------------------

// Returns the root control.
uic_s* ui__root(ui_s* ui);

// Runs the adding steps: allocates a node driven by proc, sends it
// UIC_MSG_CREATE with create_data, then UIC_MSG_SETUP with setup unless setup
// is null, appends it to the current parent, binds key (may be null) and gives
// it the pending weight.
uic_s* ui__add(ui_s* ui, uic_proc proc, void* create_data, void* setup, const char* key);

// Returns the sum of the x, y of the control and of all its ancestors.
ui_point_s ui__origin(uic_s* control);

// The root's procedure: children anchored at the top-left corner.
int ui__no_layout_proc(uic_s* control, int message, void* data);

// Allocates the control's zero-filled state of size bytes behind the cookie on
// UIC_MSG_CREATE and frees it on UIC_MSG_DESTROY; true when the message was
// one of the two.
bool ui__state_lifecycle(uic_s* control, int message, size_t size);

// Returns the control's state behind the cookie.
template <typename T> T* ui__state(uic_s* control) {
    return static_cast<T*>(uic_cookie_get(control));
}

// Answers UIC_MSG_MEASURE: stores w, h in the uic_measure_s at data.
void ui__answer(void* data, float w, float h);

// Copies at most size - 1 bytes of src into dst and terminates it; null src
// gives an empty string.
void ui__copy_text(char* dst, const char* src, int size);

// ---- model through a control's binding ------------------------------------------------

// Returns the model of the control's UI.
ui_model_s* ui__model_get(uic_s* control);

// Returns the float under the control's key.
float ui__model_get_float(uic_s* control);

// Returns the pointer under the control's key.
void* ui__model_get_ptr(uic_s* control);

// Returns f truncated toward zero; out-of-range values saturate, NaN gives 0.
int32_t ui__to_int(float f);

// Stores a bool under the control's key.
void ui__model_update_bool(uic_s* control, bool value);

// Stores a float under the control's key.
void ui__model_update_float(uic_s* control, float value);

// ---- text and shapes through the render context --------------------------------------

// Selects face at size and measures text into *w, *h. With a null context
// (layout without a renderer) both are 0.
void ui__text_measure(void* context, const char* face, float size, const char* text, float* w,
                      float* h);

// Returns the frame colour of the controls' faces: the fill darkened by 1/8.
gr_color_t ui__frame_color();

// Returns the largest scale k <= 1 at which a text of tw x th fits max_w x max_h.
float ui__text_fit(float tw, float th, float max_w, float max_h);

// Returns whether (px, py) lies in the rectangle, right and bottom edges excluded.
bool ui__rect_contains(const ui_rect_s& r, float px, float py);

// Draws the colour well's face inside (0, 0, w, h): the hue ring, the
// saturation-value square of half-side r for hue, markers for the current
// hue, saturation and value, and the stored colour's swatch at the top right.
void ui__draw_color_wheel(void* context, float w, float h, float r, float hue, float sat, float val,
                          gr_color_t stored);
