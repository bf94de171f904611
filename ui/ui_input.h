#pragma once
// Input routing: which control receives each key, mouse, scroll and gesture
// event (a hot key, the capture holder, or the control under the pointer),
// hover tracking, and hot-key registration.
//
// There is no keyboard focus: keys go to the capture holder or to the control
// under the last mouse position. Every function here runs the receiving
// procedure synchronously and touches nothing after it returns, so a handler
// may destroy the whole UI. Thread: main, with the window's context lock held.

struct ui_s;
struct uic_s;
struct ui_hotkey_s;

// Called for a matching hot key with its user pointer, key and modifiers.
typedef void (*ui_hotkey_cb)(void* user, unsigned key, unsigned modifiers);

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

// Delivers a stylus move at (x, y) with three pass-through values; returns the
// receiver's answer.
int ui_stylus_move(ui_s* ui, float x, float y, float a, float b, float c);

// Registers a hot key: a key down with exactly this key and these modifiers
// calls callback(user, key, modifiers) and reaches no control. The newest
// registration of a key wins. Owns: the UI (freed by ui_destroy).
ui_hotkey_s* ui_hotkey_register(ui_s* ui, unsigned key, unsigned modifiers, ui_hotkey_cb callback,
                                void* user);

// Returns the control a press at the window point (x, y) would reach when
// nothing holds the capture: the last sibling containing it, deepest first,
// at worst the root.
uic_s* ui_hit_test(ui_s* ui, float x, float y);
