#pragma once
// Immediate-mode widget drawing: each helper draws one complete widget at the
// given rectangle through the render context (a Context*), in its current
// transform, and keeps nothing between calls. Two helpers register the fonts
// under the names the whole toolkit selects, "text" and "icon".
//
// Thread: only while a frame is drawn (fonts: while the context is prepared),
// with the window's context lock held.

// Registers the size bytes at data as the "text" font; the bytes stay the
// caller's and must outlive the context. Returns the font handle, negative
// on failure.
int gr_ui_font_text(void* context, unsigned size, void* data);

// Registers the size bytes at data as the "icon" font, as gr_ui_font_text.
int gr_ui_font_icons(void* context, unsigned size, void* data);

// Draws text left-aligned and vertically centred in (x, y, w, h), 16 points,
// faint white; w is not used.
void gr_ui_label(void* context, const char* text, float x, float y, float w, float h);

// Draws a soft drop shadow around the rectangle, strongest below it; the
// rectangle itself stays untouched.
void gr_ui_box_shadow(void* context, float x, float y, float w, float h);

// Strokes then fills, with the colours already set, a box whose right end is
// a point arrow long; the left edge is left unstroked.
void gr_ui_arrow_box(void* context, float x, float y, float w, float h, float arrow);

// Draws a push button with centred text; color 0 draws no solid face.
void gr_ui_button(void* context, const char* text, float x, float y, float w, float h,
                  unsigned color, int pressed);

// Draws a check box of side h at (x, y), crossed when checked; w is not used.
void gr_ui_checkbox(void* context, float x, float y, float w, float h, int checked, int unused);

// Draws a horizontal slider with its knob at pos (0 to 1) of the slot.
void gr_ui_slider(void* context, float pos, float x, float y, float w, float h, int active);

// Draws a statistic row: label at the left, value at the right.
void gr_ui_stat(void* context, const char* label, const char* value, float x, float y, float w,
                float h);

// Draws a tab strip over a well: count labels, the selected tab open to the
// body, the highlighted one lighter.
void gr_ui_tabs(void* context, float x, float y, float w, float h, int count, const char** labels,
                int selected, int highlighted);

// Draws a framed well with a title strip.
void gr_ui_well(void* context, const char* title, float x, float y, float w, float h);
