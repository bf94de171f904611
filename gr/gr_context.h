#pragma once
// Render context: a thin immediate-mode drawing layer over NanoVG and its
// OpenGL 3 back end. Colours are 0xAARRGGBB words; images become textures on
// first use and are re-uploaded only after a modifying unlock.
//
// Thread: every call runs with the window's OpenGL context current and its
// lock held (frames on the frame thread, set-up and input on the main thread).

#include "gr/gr_image.h"

struct NVGcontext;
struct gr_canvas_s; // an off-screen target; always null here (frames go to the window)
struct gr__context_textures_s;

// The drawing state of one OpenGL context.
class Context {
public:
    gr_canvas_s* target = nullptr; // off-screen target of the frame; always null
    NVGcontext* vg = nullptr;      // the renderer, owned; null when it could not be created
    float stroke_weight = 1.0f;    // last value given to gr_context_stroke_weight
    int density = 1;               // device pixels per point of the current frame, >= 1
    int width = 0, height = 0;     // current frame in points
    gr__context_textures_s* textures = nullptr; // texture records made by this context, owned
};

// ---- lifecycle and frame -----------------------------------------------------

// Returns a new context whose renderer has antialiasing, stencil strokes and
// debug checks. When the renderer cannot be created, writes "Could not init
// nanovg.\n" and returns a context with vg null (never to be drawn with).
// Requires a current OpenGL 3.2 core context. Owns: caller (gr_context_destroy).
Context* gr_context_create();

// Deletes the renderer and the context; null does nothing. Texture records
// still attached to live images are disowned, so later unlocks or frees of
// those images never reach the deleted renderer. Requires the GL context.
void gr_context_destroy(Context* context);

// Begins a frame of width x height points at density pixels a point (0 counts
// as 1) into target (null: the window): viewport, blending, culling, depth.
void gr_context_draw_begin(Context* context, gr_canvas_s* target, int width, int height,
                           int density);

// Clears colour, depth and stencil; the colour is taken from the word's bytes.
void gr_context_clear(Context* context, gr_color_t color);

// Ends the frame: submits the drawing to OpenGL and turns depth testing back on.
void gr_context_draw_end(Context* context);

// Returns the renderer, for the widget layer's fonts, boxes and shadows.
NVGcontext* gr__context_get(Context* context);

// ---- state ---------------------------------------------------------------------

// Sets the fill colour (bytes: red 16-23, green 8-15, blue 0-7, alpha 24-31).
void gr_context_fill_color(Context* context, gr_color_t color);

// Sets the stroke colour, bytes as for the fill colour.
void gr_context_stroke_color(Context* context, gr_color_t color);

// Sets and remembers the stroke width in points.
void gr_context_stroke_weight(Context* context, float weight);

// Sets the font size, then the face by its registered name, then left-and-top
// alignment.
void gr_context_text_font(Context* context, const char* face, float size);

// Sets the scissor rectangle in the current transform.
void gr_context_scissor(Context* context, int x, int y, int w, int h);

// Saves the renderer state (transform, scissor, colours, font).
void gr_context_xpush(Context* context);

// Restores the state saved by the matching gr_context_xpush.
void gr_context_xpop(Context* context);

// Translates the current transform by (x, y) points.
void gr_context_xtrans(Context* context, float x, float y);

// ---- drawing (points, current transform; fill then stroke unless noted) --------

// Strokes one segment from (x0, y0) to (x1, y1).
void gr_context_draw_line(Context* context, float x0, float y0, float x1, float y1);

// Fills and strokes the rectangle.
void gr_context_draw_rect(Context* context, float x, float y, float w, float h);

// Fills and strokes the closed polygon through n >= 1 points given as (x, y)
// pairs in xy.
void gr_context_draw_poly(Context* context, int n, const float* xy);

// Corner bits for gr_context_draw_roundrect.
enum : int {
    GR_CORNER_TOP_LEFT = 1,
    GR_CORNER_TOP_RIGHT = 2,
    GR_CORNER_BOTTOM_RIGHT = 4,
    GR_CORNER_BOTTOM_LEFT = 8,
    GR_CORNER_ALL = 15,
};

// Fills and strokes the rectangle with the corners named in corners rounded by
// r, capped at half of |w| and of |h|.
void gr_context_draw_roundrect(Context* context, int corners, float x, float y, float w, float h,
                               float r);

// Fills the rectangle with the whole image stretched over it; no outline. The
// image's texture is made on first use and refreshed after modifying unlocks.
// image must not be null.
void gr_context_draw_image(Context* context, gr_image_s* image, int x, int y, int w, int h);

// Draws the string at (x, y) with the fill colour, font and alignment.
void gr_context_text(Context* context, const char* text, float x, float y);

// Measures the string as drawn at (0, 0): *w and *h receive the right and
// bottom of its bounds (0 and 0 for an empty string).
void gr_context_text_dims(Context* context, const char* text, float* w, float* h);

// ---- graphics debugger hooks ---------------------------------------------------------

// Opens a labelled group of GL calls for a graphics debugger; no effect here.
void gr_debug_marker_push(const char* label);

// Closes the group opened by gr_debug_marker_push; no effect here.
void gr_debug_marker_pop();
