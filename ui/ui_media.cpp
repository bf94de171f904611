// Progress bar, image view and colour well.

#include "ui/ui_media.h"

#include <cmath>
#include <cstdio>

#include "gr/gr_color.h"
#include "gr/gr_context.h"
#include "ui/ui_internal.h"
#include "ui/ui_theme.h"
#include "ui/ui_widget.h"

namespace {

// ---- progress bar -----------------------------------------------------------------------

struct progress_s {
    unsigned style;
    float last;
};

// Nothing shows before the work starts (0) or once it is done (1).
void progress_draw(uic_s* control, progress_s* s, const uic_draw_s* d) {
    auto* c = static_cast<Context*>(d->context);
    const float v = ui__model_get_float(control);
    s->last = v;
    if (v == 0.0f || v == 1.0f)
        return;
    const float f = std::isnan(v) ? 0.0f : std::fmin(std::fmax(v, 0.0f), 1.0f);
    gr_context_fill_color(c, ui_theme_color_button());
    gr_context_stroke_color(c, ui_theme_color_button());
    gr_context_draw_roundrect(c, GR_CORNER_ALL, 0, 0, d->width, d->height, 0);
    gr_context_fill_color(c, ui_theme_color_key());
    gr_context_stroke_color(c, ui_theme_color_key());
    gr_context_draw_roundrect(c, GR_CORNER_ALL, 0, 0, f * d->width, d->height, 0);
}

int progress_proc(uic_s* control, int message, void* data) {
    if (ui__state_lifecycle(control, message, sizeof(progress_s)))
        return 1;
    progress_s* s = ui__state<progress_s>(control);
    switch (message) {
    case UIC_MSG_SETUP:
        s->style = *static_cast<const unsigned*>(data);
        return 1;
    case UIC_MSG_MEASURE:
        ui__answer(data, -1.0f, 2.0f);
        return 1;
    case UIC_MSG_DRAW:
        progress_draw(control, s, static_cast<const uic_draw_s*>(data));
        return 1;
    default:
        return 0;
    }
}

// ---- image ------------------------------------------------------------------------------

struct image_s {
    unsigned flags;
    float pan_x, pan_y;
    float zoom;
};

// The image's rectangle in the control: zoomed and panned about the centre,
// or fitted into the area inside a 5-point margin (never enlarged).
ui_rect_s image_place(const image_s* s, float W, float H, float iw, float ih) {
    if (s->flags & UI_IMAGE_ZOOM) {
        const float w = iw * s->zoom, h = ih * s->zoom;
        return {0.5f * (W - w) + s->pan_x, 0.5f * (H - h) + s->pan_y, w, h};
    }
    const float k = ui__text_fit(iw, ih, W - 10.0f, H - 10.0f);
    const float w = iw * k, h = ih * k;
    return {5.0f + 0.5f * (W - 10.0f - w), 5.0f + 0.5f * (H - 10.0f - h), w, h};
}

void image_draw(uic_s* control, const image_s* s, const uic_draw_s* d) {
    auto* c = static_cast<Context*>(d->context);
    const float W = d->width, H = d->height;
    if (s->flags & UI_IMAGE_FIELD) {
        gr_context_fill_color(c, ui_theme_color_field());
        gr_context_stroke_color(c, ui__frame_color());
        gr_context_draw_roundrect(c, GR_CORNER_ALL, 0, 0, W, H, 4);
    }
    auto* image = static_cast<gr_image_s*>(ui__model_get_ptr(control));
    if (!image)
        return;
    gr_context_xpush(c);
    gr_context_scissor(c, 0, 0, int(W), int(H));
    const ui_rect_s r =
        image_place(s, W, H, float(gr_image_get_width(image)), float(gr_image_get_height(image)));
    if (s->flags & UI_IMAGE_SHADOW)
        gr_ui_box_shadow(c, r.x, r.y, r.width, r.height);
    gr_context_draw_image(c, image, int(r.x), int(r.y), int(r.width), int(r.height));
    gr_context_xpop(c);
}

int image_proc(uic_s* control, int message, void* data) {
    if (ui__state_lifecycle(control, message, sizeof(image_s)))
        return 1;
    image_s* s = ui__state<image_s>(control);
    switch (message) {
    case UIC_MSG_SETUP:
        s->flags = *static_cast<const unsigned*>(data);
        s->zoom = 1.0f;
        return 1;
    case UIC_MSG_MAGNIFY: {
        // Zoom about the gesture point: the image point under it stays put.
        const auto* g = static_cast<const uic_gesture_s*>(data);
        const float f = g->amount + 1.0f;
        const float px = g->x - 0.5f * uic_get_width(control);
        const float py = g->y - 0.5f * uic_get_height(control);
        s->pan_x = (s->pan_x - px) * f + px;
        s->pan_y = (s->pan_y - py) * f + py;
        s->zoom *= f;
        return 1;
    }
    case UIC_MSG_SCROLL: {
        const auto* e = static_cast<const uic_scroll_s*>(data);
        s->pan_x += e->dx;
        s->pan_y += e->dy;
        return 1;
    }
    case UIC_MSG_MEASURE:
        ui__answer(data, -1.0f, -1.0f);
        return 1;
    case UIC_MSG_DRAW:
        image_draw(control, s, static_cast<const uic_draw_s*>(data));
        return 1;
    default:
        return 0;
    }
}

// ---- colour well ------------------------------------------------------------------------

enum : int32_t { DRAG_NONE = 0, DRAG_SWATCH = 1, DRAG_SQUARE = 2, DRAG_RING = 3 };

struct color_well_s {
    int32_t drag;
    float hue, sat, val; // 0 to 1
    gr_color_t current;
    gr_color_t stored; // the swatch
};

// Half the side of the saturation-value square: its corners touch a circle
// 6 points inside the 30-point hue ring.
float square_half(float w, float h) {
    return 0.35355338f * std::fmin(w, h) - 25.455843f;
}

void channel_keys(uic_s* control, char keys[3][24]) {
    const char* key = uic_get_binding(control);
    std::snprintf(keys[0], sizeof keys[0], "%s.r", key);
    std::snprintf(keys[1], sizeof keys[1], "%s.g", key);
    std::snprintf(keys[2], sizeof keys[2], "%s.b", key);
}

float clamp01(float v) {
    return std::isnan(v) ? 0.0f : std::fmin(std::fmax(v, 0.0f), 1.0f);
}

void color_well_pick(uic_s* control, color_well_s* s, float x, float y) {
    const float W = uic_get_width(control), H = uic_get_height(control);
    const float r = square_half(W, H);
    switch (s->drag) {
    case DRAG_RING: {
        float a = std::atan2(0.5f * H - y, x - 0.5f * W);
        if (a < 0.0f)
            a += 2.0f * float(M_PI);
        s->hue = a / (2.0f * float(M_PI));
        if (s->hue >= 1.0f)
            s->hue = 0.0f;
        break;
    }
    case DRAG_SQUARE:
        s->sat = clamp01((x - 0.5f * W + r) / (2.0f * r));
        s->val = clamp01(1.0f - (y - 0.5f * H + r) / (2.0f * r));
        break;
    case DRAG_SWATCH: {
        float hsv[3];
        gr_color_to_hsv(s->stored, hsv);
        s->hue = hsv[0];
        s->sat = hsv[1];
        s->val = hsv[2];
        break;
    }
    default:
        return;
    }
    s->current = gr_color_from_hsv(s->hue, s->sat, s->val);
    char keys[3][24];
    channel_keys(control, keys);
    ui_model_s* model = ui__model_get(control);
    ui_model_set_float(model, keys[0], float((s->current >> 16) & 0xFF));
    ui_model_set_float(model, keys[1], float((s->current >> 8) & 0xFF));
    ui_model_set_float(model, keys[2], float(s->current & 0xFF));
}

void color_well_down(uic_s* control, color_well_s* s, const uic_mouse_s* e) {
    uic_mouse_capture(control);
    const float W = uic_get_width(control), H = uic_get_height(control);
    const float r = square_half(W, H);
    if (std::fabs(e->x - 0.5f * W) <= r && std::fabs(e->y - 0.5f * H) <= r)
        s->drag = DRAG_SQUARE;
    else if (std::hypot(e->x - 0.925f * W, e->y - 0.075f * W) < 0.075f * W)
        s->drag = DRAG_SWATCH;
    else
        s->drag = DRAG_RING;
}

// Changes made through the model show up: a colour there that differs from
// the current one becomes current and stored. Checked every layout and draw.
void color_well_sync(uic_s* control, color_well_s* s) {
    char keys[3][24];
    channel_keys(control, keys);
    ui_model_s* model = ui__model_get(control);
    gr_color_t color = 0xff000000;
    for (int i = 0; i < 3; i++) {
        int32_t v = ui_model_get_int(model, keys[i]);
        v = v < 0 ? 0 : v > 255 ? 255 : v;
        color |= gr_color_t(v) << (16 - 8 * i);
    }
    if (color == s->current)
        return;
    s->current = s->stored = color;
    float hsv[3];
    gr_color_to_hsv(color, hsv);
    s->hue = hsv[0];
    s->sat = hsv[1];
    s->val = hsv[2];
}

int color_well_proc(uic_s* control, int message, void* data) {
    if (ui__state_lifecycle(control, message, sizeof(color_well_s)))
        return 1;
    color_well_s* s = ui__state<color_well_s>(control);
    switch (message) {
    case UIC_MSG_SETUP:
        s->hue = 0.0f;
        s->sat = 1.0f;
        s->val = 1.0f;
        return 1;
    case UIC_MSG_MOUSE_DOWN:
        color_well_down(control, s, static_cast<const uic_mouse_s*>(data));
        return 1;
    case UIC_MSG_MOUSE_MOVE: {
        const auto* e = static_cast<const uic_mouse_s*>(data);
        color_well_pick(control, s, e->x, e->y);
        return 1;
    }
    case UIC_MSG_MOUSE_UP: {
        const auto* e = static_cast<const uic_mouse_s*>(data);
        color_well_pick(control, s, e->x, e->y);
        uic_mouse_release(control);
        s->drag = DRAG_NONE;
        return 1;
    }
    case UIC_MSG_MEASURE: {
        auto* m = static_cast<uic_measure_s*>(data);
        m->height = m->width;
        return 1;
    }
    case UIC_MSG_LAYOUT:
        color_well_sync(control, s);
        return 1;
    case UIC_MSG_DRAW: {
        const auto* d = static_cast<const uic_draw_s*>(data);
        color_well_sync(control, s);
        ui__draw_color_wheel(d->context, d->width, d->height, square_half(d->width, d->height),
                             s->hue, s->sat, s->val, s->stored);
        return 1;
    }
    default:
        return 0;
    }
}

} // namespace

// ---- adding functions -------------------------------------------------------------------

uic_s* ui_add_progress(ui_s* ui, unsigned style, const char* key) {
    return ui__add(ui, progress_proc, nullptr, &style, key);
}

uic_s* ui_add_image(ui_s* ui, const char* key, unsigned flags) {
    return ui__add(ui, image_proc, nullptr, &flags, key);
}

uic_s* ui_add_color(ui_s* ui, const char* key) {
    unsigned none = 0;
    return ui__add(ui, color_well_proc, nullptr, &none, key);
}

void ui_color_store(uic_s* color_well) {
    color_well_s* s = ui__state<color_well_s>(color_well);
    s->stored = s->current;
}

gr_color_t ui_color_get(uic_s* color_well) {
    return ui__state<color_well_s>(color_well)->current;
}
