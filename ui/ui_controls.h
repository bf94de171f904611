#pragma once
// The standard controls: push button (with icon and side action), slider,
// checkbox, label and spacer. Each is added to the current parent of the
// layout stack with the pending weight; keyed controls read and write their
// value in the UI's model.

#include "ui/ui.h"

// Called when a button is clicked (pressed and released inside it).
typedef void (*ui_button_cb)(void* user);

// Adds a push button, 48 points high and as wide as its text. callback(user)
// runs on a release inside the button after a press on it, and may destroy
// the whole UI. callback may be null.
uic_s* ui_add_button(ui_s* ui, const char* label, ui_button_cb callback, void* user);

// Replaces the button's label (at most 63 characters kept).
void ui_button_label(ui_s* ui, uic_s* button, const char* label);

// Shows the glyph icon of the "icon" font before the label; 0 removes it.
void ui_button_icon(ui_s* ui, uic_s* button, char icon);

// Gives the button a side action: a click in the 20 points at its right end
// calls callback(user) instead of the main callback.
void ui_button_side(ui_s* ui, uic_s* button, ui_button_cb callback, void* user);

// Adds a slider writing a float from min to max under key, with an 80-point
// label area at the left when label is not empty.
uic_s* ui_add_slider(ui_s* ui, const char* label, const char* key, float min, float max);

// Sets the exponent from track position to value (1: linear); returns slider.
uic_s* ui_slider_set_exp(uic_s* slider, float exponent);

// Sets the factor applied to the value for display only; returns slider.
uic_s* ui_slider_set_scale(uic_s* slider, float scale);

// Adds a checkbox showing the bool under key as read now; each press toggles
// it and writes it back.
uic_s* ui_add_checkbox(ui_s* ui, const char* label, const char* key);

// Label flag: centre the text horizontally.
enum : unsigned { UI_LABEL_CENTER = 1 };

// Adds a line of text (at most 127 characters kept), 16 points.
uic_s* ui_add_label(ui_s* ui, const char* text, unsigned flags);

// Adds an empty control asking for width x height (negative: no preference).
uic_s* ui_add_spacer(ui_s* ui, float width, float height);
