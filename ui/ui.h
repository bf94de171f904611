#pragma once
// UI toolkit: a retained tree of controls with message procedures, laid out
// and drawn once per frame, fed with input by the window.
//
// Thread: the tree is touched under the window's context lock only (frames
// on the frame thread, input on the main thread).

#include "gr/gr_image.h"

struct ui_s;

// Modifier bits of key and mouse input.
enum : unsigned {
    UI_MOD_ALT = 1,
    UI_MOD_CONTROL = 2,
    UI_MOD_SHIFT = 4,
};

// ---- drawing ---------------------------------------------------------------------

// Places the root at (x, y, width, height), lays the tree out and draws it
// through context (a Context*). Called once per frame between the render
// context's begin and end of frame.
void ui_draw(ui_s* ui, void* context, float x, float y, float width, float height);

// ---- input (positions in points, origin at the top left, y downward) ---------------

// Delivers a key press: a matching hot key, else the capture holder, else the
// control under the last mouse position.
void ui_key_down(ui_s* ui, unsigned key, unsigned modifiers);

// Delivers a key release to the capture holder, else the control under the
// last mouse position.
void ui_key_up(ui_s* ui, unsigned key, unsigned modifiers);

// Delivers a button press at (x, y) to the capture holder, else the control there.
void ui_mouse_down(ui_s* ui, unsigned button, unsigned modifiers, float x, float y);

// Delivers a button release at (x, y) to the capture holder, else the control there.
void ui_mouse_up(ui_s* ui, unsigned button, unsigned modifiers, float x, float y);

// Delivers a move or drag to (x, y), updating the hover control.
void ui_mouse_move(ui_s* ui, unsigned modifiers, float x, float y);

// Delivers a scroll of (dx, dy) at (x, y).
void ui_scroll(ui_s* ui, float x, float y, float dx, float dy);

// Delivers a magnification step (zoom by 1 + amount) about (x, y).
void ui_magnify(ui_s* ui, float x, float y, float amount);

// Delivers a rotation by amount about (x, y).
void ui_rotate(ui_s* ui, float x, float y, float amount);
