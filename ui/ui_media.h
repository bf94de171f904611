#pragma once
// Controls that show or pick media: progress bar, image view and colour well.

#include "ui/ui.h"

// Adds a progress bar 2 points high showing the float under key (0 to 1); at
// exactly 0 or 1 it shows nothing. style is kept for later use.
uic_s* ui_add_progress(ui_s* ui, unsigned style, const char* key);

// Image flags: a field behind the image, a drop shadow under it, and zoom and
// pan by gestures (otherwise the image is fitted, never enlarged).
enum : unsigned {
    UI_IMAGE_FIELD = 1,
    UI_IMAGE_SHADOW = 2,
    UI_IMAGE_ZOOM = 4,
};

// Adds a view of the gr_image_s* stored under key with ui_model_set_ptr
// (null shows nothing; the image is not retained).
uic_s* ui_add_image(ui_s* ui, const char* key, unsigned flags);

// Adds a square colour well: a hue ring, a saturation-value square and the
// stored colour's swatch at the top right. It keeps red, green and blue (0 to
// 255, floats) under key + ".r", ".g", ".b", so key has at most 13 characters.
uic_s* ui_add_color(ui_s* ui, const char* key);

// Copies the well's current colour into its stored colour (the swatch).
void ui_color_store(uic_s* color_well);

// Returns the well's current colour (opaque 0xAARRGGBB).
gr_color_t ui_color_get(uic_s* color_well);
