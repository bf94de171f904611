#pragma once
// The popover: a transient control that shows a second UI in a floating box
// above a point, holds the mouse capture while it is open and closes itself
// on a click outside its box.

#include "ui/ui.h"

// Popover flag: the popover owns its content and destroys it when it closes.
enum : unsigned { UI_POPOVER_OWNS_CONTENT = 1 };

// Shows content in a popover pointing at the window point (x, y), on top of
// everything in ui, and gives it the capture. The box is as wide as the
// requested width (320 by default), as high as the content's first child lays
// out, and sits above the point, moved sideways to stay inside the window.
// Returns the popover control; it lives until a click outside or uic_remove.
uic_s* ui_popover_present(ui_s* ui, ui_s* content, unsigned flags, float x, float y);

// Sets the popover's content width (0 restores the default 320).
void ui_popover_set_width(uic_s* popover, float width);

// Returns the box the popover last drew, in its frame (the window's).
ui_rect_s ui_popover_box(uic_s* popover);
