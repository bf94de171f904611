#pragma once
// Layout containers and the layout stack that builds a UI in reading order:
// a push opens a container that receives the controls added next, a pop
// closes it. Weights, padding and forced sizes are set while building and
// take effect at the next layout pass.

#include "ui/ui.h"

// Adds a vertical stack (children one below the other, spacing points apart)
// to the current parent, opens it, and resets the pending weight to 1.
uic_s* ui_layout_push_vertical(ui_s* ui, float spacing);

// Adds a horizontal stack (children side by side) and opens it, as above.
uic_s* ui_layout_push_horizontal(ui_s* ui, float spacing);

// Adds a fill container (every child gets its whole area) and opens it.
uic_s* ui_layout_push_fill(ui_s* ui);

// Makes an existing control the current parent; the pending weight stays.
// At most 15 pushes may be open at once.
void ui_layout_push(ui_s* ui, uic_s* control);

// Closes the current parent and resets the pending weight to 1. Never pop
// more than was pushed.
void ui_layout_pop(ui_s* ui);

// Sets the weight every control added from now on receives, until the next
// weight call, push or pop.
void ui_layout_weight(ui_s* ui, float weight);

// Sets the control's padding: the space its container keeps around it.
void ui_layout_pad(ui_s* ui, uic_s* control, float left, float top, float right, float bottom);

// Forces the control's size; in force only when both are non-zero, and then
// used instead of asking the control to measure itself.
void ui_layout_dims(ui_s* ui, uic_s* control, float width, float height);
