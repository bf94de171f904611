#include "gr/gr_context.h"

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "nanovg.h"
#define NANOVG_GL3 1
#include "nanovg_gl.h"

// One record per image and renderer, attached to the image under the
// renderer's address. A record whose context is gone keeps only enough to be
// freed with its image.
struct gr__texture_s {
    gr_image_s* image;
    NVGcontext* vg; // null once the owning context is destroyed
    int id;
    Context* owner;
};

// Everything here is touched under the window's context lock, like the rest of
// the context, so it needs no lock of its own.
struct gr__context_textures_s {
    std::vector<gr__texture_s*> live; // records attached to live images
    std::vector<int> doomed;          // textures of freed images, deleted at the next frame
};

// ---- texture cache -------------------------------------------------------------------

static void gr__texture_cb(void* ctx, uint32_t msg, void* data) {
    auto* rec = static_cast<gr__texture_s*>(ctx);
    if (msg == GR_IMAGE_MSG_UNLK) {
        // Unlocking again without a change sends no further work our way.
        if (rec->vg && *static_cast<const unsigned char*>(data))
            nvgUpdateImage(rec->vg, rec->id, reinterpret_cast<unsigned char*>(rec->image->pixels));
    } else if (msg == GR_IMAGE_MSG_FREE) {
        if (rec->owner) {
            gr__context_textures_s* t = rec->owner->textures;
            std::erase(t->live, rec);
            // The texture may go now or at the next frame: GL need not be
            // current while an image is released.
            t->doomed.push_back(rec->id);
        }
        delete rec;
    }
}

static gr__texture_s* gr__texture_find(gr_image_s* image, NVGcontext* vg) {
    const uint64_t key = reinterpret_cast<uintptr_t>(vg);
    for (uint32_t i = 0; i < image->attachment_count; i++) {
        const gr_image_attachment_s& a = image->attachments[i];
        // A disowned record may carry the key of a renderer that died, whose
        // address a new renderer can reuse: only live records count.
        if (a.key == key && a.cb == gr__texture_cb && static_cast<gr__texture_s*>(a.ctx)->vg == vg)
            return static_cast<gr__texture_s*>(a.ctx);
    }
    return nullptr;
}

static int gr__texture_id(Context* context, gr_image_s* image) {
    if (gr__texture_s* rec = gr__texture_find(image, context->vg))
        return rec->id;
    auto* rec = new gr__texture_s{image, context->vg, 0, context};
    gr_image_attach(image, reinterpret_cast<uintptr_t>(context->vg), gr__texture_cb, rec);
    context->textures->live.push_back(rec);
    int flags = 0;
    if (image->flags & gr__image_flag_mipmaps)
        flags |= NVG_IMAGE_GENERATE_MIPMAPS;
    if (image->flags & gr__image_flag_repeat)
        flags |= NVG_IMAGE_REPEATX | NVG_IMAGE_REPEATY;
    // BGRA upload: a little-endian 0xAARRGGBB word is the bytes B, G, R, A.
    rec->id =
        nvgCreateImageRaw(context->vg, int(image->width), int(image->height), flags,
                          NVG_TEXTURE_BGRA, reinterpret_cast<const unsigned char*>(image->pixels));
    return rec->id;
}

// ---- lifecycle and frame -------------------------------------------------------------

Context* gr_context_create() {
    auto* context = new Context;
    context->textures = new gr__context_textures_s;
    context->vg = nvgCreateGL3(NVG_ANTIALIAS | NVG_STENCIL_STROKES | NVG_DEBUG);
    if (!context->vg)
        std::fputs("Could not init nanovg.\n", stderr);
    return context;
}

void gr_context_destroy(Context* context) {
    if (!context)
        return;
    for (gr__texture_s* rec : context->textures->live) {
        rec->vg = nullptr;
        rec->owner = nullptr;
    }
    if (context->vg)
        nvgDeleteGL3(context->vg);
    delete context->textures;
    delete context;
}

void gr_context_draw_begin(Context* context, gr_canvas_s* target, int width, int height,
                           int density) {
    context->target = target;
    context->width = width;
    context->height = height;
    context->density = density > 0 ? density : 1;
    for (int id : context->textures->doomed)
        nvgDeleteImage(context->vg, id);
    context->textures->doomed.clear();
    glViewport(0, 0, width * context->density, height * context->density);
    glEnable(GL_BLEND);
    glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    glEnable(GL_CULL_FACE);
    glDisable(GL_DEPTH_TEST);
    nvgBeginFrame(context->vg, float(width), float(height), float(context->density));
    nvgLineCap(context->vg, NVG_ROUND);
    nvgLineJoin(context->vg, NVG_ROUND);
}

void gr_context_clear(Context*, gr_color_t color) {
    const float k = 0.003921569f;
    glClearColor(float((color >> 16) & 0xFF) * k, float((color >> 8) & 0xFF) * k,
                 float(color & 0xFF) * k, float(color >> 24) * k);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
}

void gr_context_draw_end(Context* context) {
    nvgRestore(context->vg);
    nvgEndFrame(context->vg);
    glEnable(GL_DEPTH_TEST);
}

NVGcontext* gr__context_get(Context* context) {
    return context->vg;
}

// ---- state -----------------------------------------------------------------------------

static NVGcolor gr__nvg_color(gr_color_t c) {
    return nvgRGBA((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, c >> 24);
}

void gr_context_fill_color(Context* context, gr_color_t color) {
    nvgFillColor(context->vg, gr__nvg_color(color));
}

void gr_context_stroke_color(Context* context, gr_color_t color) {
    nvgStrokeColor(context->vg, gr__nvg_color(color));
}

void gr_context_stroke_weight(Context* context, float weight) {
    context->stroke_weight = weight;
    nvgStrokeWidth(context->vg, weight);
}

void gr_context_text_font(Context* context, const char* face, float size) {
    nvgFontSize(context->vg, size);
    nvgFontFace(context->vg, face);
    nvgTextAlign(context->vg, NVG_ALIGN_LEFT | NVG_ALIGN_TOP);
}

void gr_context_scissor(Context* context, int x, int y, int w, int h) {
    nvgScissor(context->vg, float(x), float(y), float(w), float(h));
}

void gr_context_xpush(Context* context) {
    nvgSave(context->vg);
}

void gr_context_xpop(Context* context) {
    nvgRestore(context->vg);
}

void gr_context_xtrans(Context* context, float x, float y) {
    nvgTranslate(context->vg, x, y);
}

// ---- drawing ------------------------------------------------------------------------------

static void gr__fill_stroke(NVGcontext* vg) {
    nvgFill(vg);
    nvgStroke(vg);
}

void gr_context_draw_line(Context* context, float x0, float y0, float x1, float y1) {
    NVGcontext* vg = context->vg;
    nvgBeginPath(vg);
    nvgMoveTo(vg, x0, y0);
    nvgLineTo(vg, x1, y1);
    nvgStroke(vg);
}

void gr_context_draw_rect(Context* context, float x, float y, float w, float h) {
    nvgBeginPath(context->vg);
    nvgRect(context->vg, x, y, w, h);
    gr__fill_stroke(context->vg);
}

void gr_context_draw_poly(Context* context, int n, const float* xy) {
    NVGcontext* vg = context->vg;
    nvgBeginPath(vg);
    nvgMoveTo(vg, xy[0], xy[1]);
    for (int i = 1; i < n; i++)
        nvgLineTo(vg, xy[2 * i], xy[2 * i + 1]);
    nvgClosePath(vg);
    gr__fill_stroke(vg);
}

void gr_context_draw_roundrect(Context* context, int corners, float x, float y, float w, float h,
                               float r) {
    // Each quarter is a cubic whose controls sit this far back from the corner,
    // as a fraction of the radius: one minus the circle constant.
    const float k = 0.4477152f;
    auto capped = [r](float side) {
        const float half = (side < 0 ? -side : side) * 0.5f;
        const float m = r < half ? r : half;
        return side < 0 ? -m : m;
    };
    const float rx = capped(w), ry = capped(h);
    NVGcontext* vg = context->vg;
    nvgBeginPath(vg);
    nvgMoveTo(vg, x, (corners & GR_CORNER_TOP_LEFT) ? y + ry : y);
    if (corners & GR_CORNER_BOTTOM_LEFT) {
        nvgLineTo(vg, x, y + h - ry);
        nvgBezierTo(vg, x, y + h - ry * k, x + rx * k, y + h, x + rx, y + h);
    } else {
        nvgLineTo(vg, x, y + h);
    }
    if (corners & GR_CORNER_BOTTOM_RIGHT) {
        nvgLineTo(vg, x + w - rx, y + h);
        nvgBezierTo(vg, x + w - rx * k, y + h, x + w, y + h - ry * k, x + w, y + h - ry);
    } else {
        nvgLineTo(vg, x + w, y + h);
    }
    if (corners & GR_CORNER_TOP_RIGHT) {
        nvgLineTo(vg, x + w, y + ry);
        nvgBezierTo(vg, x + w, y + ry * k, x + w - rx * k, y, x + w - rx, y);
    } else {
        nvgLineTo(vg, x + w, y);
    }
    if (corners & GR_CORNER_TOP_LEFT) {
        nvgLineTo(vg, x + rx, y);
        nvgBezierTo(vg, x + rx * k, y, x, y + ry * k, x, y + ry);
    } else {
        nvgLineTo(vg, x, y);
    }
    nvgClosePath(vg);
    gr__fill_stroke(vg);
}

void gr_context_draw_image(Context* context, gr_image_s* image, int x, int y, int w, int h) {
    NVGcontext* vg = context->vg;
    const int id = gr__texture_id(context, image);
    NVGpaint paint = nvgImagePattern(vg, float(x), float(y), float(w), float(h), 0.0f, id, 1.0f);
    nvgBeginPath(vg);
    nvgRect(vg, float(x), float(y), float(w), float(h));
    nvgFillPaint(vg, paint);
    nvgFill(vg);
}

void gr_context_text(Context* context, const char* text, float x, float y) {
    nvgText(context->vg, x, y, text, nullptr);
}

void gr_context_text_dims(Context* context, const char* text, float* w, float* h) {
    if (!text || !*text) {
        *w = *h = 0.0f;
        return;
    }
    float bounds[4] = {0, 0, 0, 0};
    nvgTextBounds(context->vg, 0.0f, 0.0f, text, nullptr, bounds);
    *w = bounds[2];
    *h = bounds[3];
}

// ---- graphics debugger hooks ---------------------------------------------------------------

void gr_debug_marker_push(const char*) {}

void gr_debug_marker_pop() {}
