#pragma once
// Controls that choose an index: list, icon set, segment and wizard. The
// chosen index lives only in the model, as a float under the control's key,
// and is read back (truncated) every frame; an index outside the items
// highlights nothing. Item arrays stay the caller's and must outlive the
// control.

#include "gr/gr_image.h"
#include "ui/ui.h"

// Adds a list of count rows, 36 points each; a click on a row writes its index.
uic_s* ui_add_list(ui_s* ui, int count, const char** items, const char* key);

// Icon-set flag: one row of segments 24 points high instead of a grid of
// three columns.
enum : unsigned { UI_ICON_SET_ROW = 2 };

// Adds an icon set: count labelled cells, each with images[i] fitted above its
// label when images and images[i] are not null; a click writes the index.
uic_s* ui_add_icon_set(ui_s* ui, int count, const char** labels, gr_image_s** images,
                       const char* key, unsigned flags);

// Replaces the icon set's cells.
void ui_icon_set_update(ui_s* ui, uic_s* icon_set, int count, const char** labels,
                        gr_image_s** images, unsigned flags);

// Adds a segmented choice, 32 points high: count equal parts side by side; a
// press and release on the same part writes its index.
uic_s* ui_add_segment(ui_s* ui, int count, const char** items, const char* key);

// Adds a wizard: a row of count arrow-shaped steps, 40 points high; a press
// and release on the same step makes it current.
uic_s* ui_add_wizard(ui_s* ui, int count, const char** labels, const char* key);
