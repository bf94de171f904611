// Button, slider, checkbox, label and spacer: message procedures with their
// private state behind the cookie, drawn through the render context.

#include "ui/ui_controls.h"

#include <cmath>
#include <cstdio>

#include "gr/gr_color.h"
#include "gr/gr_context.h"
#include "ui/ui_internal.h"
#include "ui/ui_model.h"
#include "ui/ui_theme.h"
#include "ui/ui_widget.h"

namespace {

// Fill and stroke colours, then a rounded rectangle with every corner rounded.
void box(Context* c, gr_color_t fill, gr_color_t stroke, float x, float y, float w, float h,
         float r) {
    gr_context_fill_color(c, fill);
    gr_context_stroke_color(c, stroke);
    gr_context_draw_roundrect(c, GR_CORNER_ALL, x, y, w, h, r);
}

// ---- button -----------------------------------------------------------------------------

constexpr float kButtonHeight = 48.0f, kSideWidth = 20.0f, kButtonFont = 20.0f;

struct button_s {
    char icon;
    char label[65]; // 64 characters and the terminator
    float icon_width;
    float label_width, label_height;
    void* user;
    ui_button_cb callback;
    void* side_user;
    ui_button_cb side_callback;
};

struct button_setup_s {
    const char* label;
    void* user;
    ui_button_cb callback;
};

void button_measure_text(button_s* b, void* context) {
    if (b->icon) {
        const char glyph[2] = {b->icon, 0};
        float h;
        ui__text_measure(context, UI_FONT_ICON, kButtonFont, glyph, &b->icon_width, &h);
    }
    ui__text_measure(context, UI_FONT_TEXT, kButtonFont, b->label, &b->label_width,
                     &b->label_height);
}

void button_draw(uic_s* control, button_s* b, const uic_draw_s* d) {
    auto* c = static_cast<Context*>(d->context);
    const float W = d->width, H = d->height;
    const bool pressed = uic_mouse_captured(control);
    const bool hovered = ui__rect_contains({0, 0, W, H}, d->mouse_x, d->mouse_y);
    const gr_color_t face = pressed   ? ui_theme_color_key()
                            : hovered ? gr_color_lighter(ui_theme_color_button(), 0.125f)
                                      : ui_theme_color_button();
    box(c, face, ui__frame_color(), 0, 0, W, H, 4);

    if (b->side_callback) {
        gr_context_draw_line(c, W - kSideWidth, 0, W - kSideWidth, H);
        const gr_color_t light = ui_theme_color_text(0);
        gr_context_fill_color(c, light);
        gr_context_stroke_color(c, light);
        const float tri[6] = {W - 10, 0.5f * H - 2.828427f, W - 6, 0.5f * H + 2.828427f,
                              W - 14, 0.5f * H + 2.828427f};
        gr_context_draw_poly(c, 3, tri);
    }

    button_measure_text(b, c);
    // Icon and label are centred as one block: the gap m separates them only
    // when both are shown.
    const float m = 0.25f * (H - b->label_height);
    float content = b->label_width;
    if (b->icon)
        content += b->icon_width + (b->label[0] ? m : 0.0f);
    float x = std::round(0.5f * (W - content));
    gr_context_fill_color(c, ui_theme_color_text(pressed ? 1 : 0));
    if (b->icon) {
        const char glyph[2] = {b->icon, 0};
        float gw, gh;
        ui__text_measure(c, UI_FONT_ICON, kButtonFont, glyph, &gw, &gh);
        gr_context_text(c, glyph, x, 0.5f * (H - gh));
        x += m + b->icon_width;
    }
    gr_context_text_font(c, UI_FONT_TEXT, kButtonFont);
    gr_context_text(c, b->label, x, 0.5f * (H - b->label_height));
}

// The button counts as pressed exactly while it holds the capture. After a
// callback the procedure touches nothing: the callback may free the UI.
void button_mouse_up(uic_s* control, button_s* b, const uic_mouse_s* e) {
    if (!uic_mouse_captured(control))
        return;
    uic_mouse_release(control);
    const float W = uic_get_width(control), H = uic_get_height(control);
    if (!ui__rect_contains({0, 0, W, H}, e->x, e->y))
        return;
    if (e->x > W - kSideWidth && b->side_callback)
        b->side_callback(b->side_user);
    else if (b->callback)
        b->callback(b->user);
}

int button_proc(uic_s* control, int message, void* data) {
    if (ui__state_lifecycle(control, message, sizeof(button_s)))
        return 1;
    button_s* b = ui__state<button_s>(control);
    switch (message) {
    case UIC_MSG_SETUP: {
        const auto* s = static_cast<const button_setup_s*>(data);
        b->user = s->user;
        b->callback = s->callback;
        ui__copy_text(b->label, s->label, sizeof b->label);
        return 1;
    }
    case UIC_MSG_SET_TEXT:
        ui__copy_text(b->label, *static_cast<const char* const*>(data), sizeof b->label);
        return 1;
    case UIC_MSG_SET_ICON:
        b->icon = *static_cast<const char*>(data);
        if (!b->icon)
            b->icon_width = 0.0f;
        return 1;
    case UIC_MSG_MOUSE_DOWN:
        uic_mouse_capture(control);
        return 1;
    case UIC_MSG_MOUSE_MOVE:
        return 1;
    case UIC_MSG_MOUSE_UP:
        button_mouse_up(control, b, static_cast<const uic_mouse_s*>(data));
        return 1;
    case UIC_MSG_MEASURE: {
        auto* m = static_cast<uic_measure_s*>(data);
        button_measure_text(b, m->context);
        const float room = kButtonHeight - b->label_height;
        float w = b->label_width + room;
        if (b->icon) {
            w += b->icon_width;
            if (b->label[0])
                w += 0.25f * room;
        }
        if (b->side_callback)
            w += kSideWidth;
        ui__answer(data, w, kButtonHeight);
        return 1;
    }
    case UIC_MSG_DRAW:
        button_draw(control, b, static_cast<const uic_draw_s*>(data));
        return 1;
    default:
        return 0;
    }
}

// ---- slider -----------------------------------------------------------------------------

constexpr float kLabelWidth = 80.0f;

struct slider_s {
    char label[64];
    float min, max;
    float exponent;
    float scale;
    unsigned dragging;
};

struct slider_setup_s {
    const char* label;
    float min, max;
    float value; // read before the node exists; not used
};

// The track: the control minus the label area.
void slider_track(uic_s* control, const slider_s* s, float* x0, float* tw) {
    *x0 = s->label[0] ? kLabelWidth : 0.0f;
    *tw = uic_get_width(control) - *x0;
}

// Value from a pointer x: the knob's centre travels TW - H points. A track no
// wider than the knob has no travel and gives min.
void slider_follow(uic_s* control, const slider_s* s, float x) {
    float x0, tw;
    slider_track(control, s, &x0, &tw);
    const float h = uic_get_height(control), travel = tw - h;
    float t = travel > 0.0f ? (x - x0 - 0.5f * h) / travel : 0.0f;
    t = std::fmin(std::fmax(t, 0.0f), 1.0f);
    float v = s->min + (s->max - s->min) * std::pow(t, s->exponent);
    v = std::fmin(std::fmax(v, s->min), s->max);
    ui__model_update_float(control, v);
}

void slider_draw(uic_s* control, const slider_s* s, const uic_draw_s* d) {
    auto* c = static_cast<Context*>(d->context);
    const float H = d->height;
    float x0, tw;
    slider_track(control, s, &x0, &tw);
    const float v = ui__model_get_float(control);
    // A value set outside the range from elsewhere pins the knob to an end.
    float f = (v - s->min) / (s->max - s->min);
    f = std::isnan(f) ? 0.0f : std::fmin(std::fmax(f, 0.0f), 1.0f);
    const float pos = std::pow(f, 1.0f / s->exponent);

    if (s->label[0])
        gr_ui_label(c, s->label, 0, 0, kLabelWidth, H);
    const float r = 0.5f * H;
    box(c, ui_theme_color_button(), ui__frame_color(), x0, 0, tw, H, r);
    box(c, 0xff8f989f, 0, x0, 0, (tw - H) * pos + H, H, r);
    const gr_color_t light = ui_theme_color_text(0);
    box(c, light, gr_color_darker(light, 0.125f), x0 + 1 + (tw - H) * pos, 1, H - 2, H - 2, r - 1);

    char text[64];
    std::snprintf(text, sizeof text, "%0.2f", double(v * s->scale));
    float w, h;
    ui__text_measure(c, UI_FONT_TEXT, 16.0f, text, &w, &h);
    gr_context_fill_color(c, 0x50ffffff);
    const float a = x0 + tw * pos;
    gr_context_text(c, text, pos < 0.75f ? a + 32 : a - 32 - w, 0.5f * (H - h));
}

int slider_proc(uic_s* control, int message, void* data) {
    if (ui__state_lifecycle(control, message, sizeof(slider_s)))
        return 1;
    slider_s* s = ui__state<slider_s>(control);
    switch (message) {
    case UIC_MSG_SETUP: {
        const auto* p = static_cast<const slider_setup_s*>(data);
        ui__copy_text(s->label, p->label, sizeof s->label);
        s->min = p->min;
        s->max = p->max;
        s->exponent = 1.0f;
        s->scale = 1.0f;
        return 1;
    }
    case UIC_MSG_MOUSE_DOWN:
        uic_mouse_capture(control);
        s->dragging = 1;
        slider_follow(control, s, static_cast<const uic_mouse_s*>(data)->x);
        return 1;
    case UIC_MSG_MOUSE_MOVE:
        if (s->dragging)
            slider_follow(control, s, static_cast<const uic_mouse_s*>(data)->x);
        return 1;
    case UIC_MSG_MOUSE_UP:
        if (s->dragging) {
            slider_follow(control, s, static_cast<const uic_mouse_s*>(data)->x);
            uic_mouse_release(control);
            s->dragging = 0;
        }
        return 1;
    case UIC_MSG_MEASURE:
        ui__answer(data, 48.0f, 24.0f);
        return 1;
    case UIC_MSG_DRAW:
        slider_draw(control, s, static_cast<const uic_draw_s*>(data));
        return 1;
    default:
        return 0;
    }
}

// ---- checkbox ---------------------------------------------------------------------------

struct checkbox_s {
    char label[64];
    unsigned char checked;
    unsigned pressing;
};

struct checkbox_setup_s {
    const char* label;
    unsigned char checked;
};

void checkbox_draw(const checkbox_s* s, const uic_draw_s* d) {
    auto* c = static_cast<Context*>(d->context);
    const float H = d->height;
    float x = 0.0f;
    if (s->label[0]) {
        gr_ui_label(c, s->label, 0, 0, kLabelWidth, H);
        x = kLabelWidth;
    }
    box(c, ui_theme_color_button(), ui__frame_color(), x, 0, H, H, 3);
    if (s->checked) {
        gr_context_stroke_weight(c, 3.0f);
        gr_context_stroke_color(c, ui_theme_color_text(0));
        gr_context_draw_line(c, x + 6, 6, x + H - 6, H - 6);
        gr_context_draw_line(c, x + 6, H - 6, x + H - 6, 6);
        gr_context_stroke_weight(c, 1.0f);
    }
}

// The box shows its own state, read from the model only when it was added,
// and toggles on press.
int checkbox_proc(uic_s* control, int message, void* data) {
    if (ui__state_lifecycle(control, message, sizeof(checkbox_s)))
        return 1;
    checkbox_s* s = ui__state<checkbox_s>(control);
    switch (message) {
    case UIC_MSG_SETUP: {
        const auto* p = static_cast<const checkbox_setup_s*>(data);
        ui__copy_text(s->label, p->label, sizeof s->label);
        s->checked = p->checked;
        return 1;
    }
    case UIC_MSG_MOUSE_DOWN:
        uic_mouse_capture(control);
        s->pressing = 1;
        s->checked = !s->checked;
        ui__model_update_bool(control, s->checked != 0);
        return 1;
    case UIC_MSG_MOUSE_UP:
        if (s->pressing) {
            uic_mouse_release(control);
            s->pressing = 0;
        }
        return 1;
    case UIC_MSG_MEASURE:
        ui__answer(data, 48.0f, 24.0f);
        return 1;
    case UIC_MSG_DRAW:
        checkbox_draw(s, static_cast<const uic_draw_s*>(data));
        return 1;
    default:
        return 0;
    }
}

// ---- label and spacer -------------------------------------------------------------------

struct label_s {
    char text[128];
    float text_width, text_height;
    float font_size;
    unsigned flags;
};

struct label_setup_s {
    const char* text;
    unsigned flags;
};

int label_proc(uic_s* control, int message, void* data) {
    if (ui__state_lifecycle(control, message, sizeof(label_s)))
        return 1;
    label_s* s = ui__state<label_s>(control);
    switch (message) {
    case UIC_MSG_SETUP: {
        const auto* p = static_cast<const label_setup_s*>(data);
        ui__copy_text(s->text, p->text, sizeof s->text);
        s->flags = p->flags;
        s->font_size = 16.0f;
        return 1;
    }
    case UIC_MSG_MEASURE: {
        auto* m = static_cast<uic_measure_s*>(data);
        ui__text_measure(m->context, UI_FONT_TEXT, s->font_size, s->text, &s->text_width,
                         &s->text_height);
        ui__answer(data, s->text_width, s->text_height);
        return 1;
    }
    case UIC_MSG_DRAW: {
        const auto* d = static_cast<const uic_draw_s*>(data);
        auto* c = static_cast<Context*>(d->context);
        ui__text_measure(c, UI_FONT_TEXT, s->font_size, s->text, &s->text_width, &s->text_height);
        const float x = (s->flags & UI_LABEL_CENTER) ? 0.5f * (d->width - s->text_width) : 0.0f;
        gr_context_fill_color(c, ui_theme_color_text(0));
        gr_context_text(c, s->text, x, 0.5f * (d->height - s->text_height));
        return 1;
    }
    default:
        return 0;
    }
}

struct spacer_s {
    float width, height;
};

int spacer_proc(uic_s* control, int message, void* data) {
    if (ui__state_lifecycle(control, message, sizeof(spacer_s)))
        return 1;
    spacer_s* s = ui__state<spacer_s>(control);
    switch (message) {
    case UIC_MSG_SETUP:
        *s = *static_cast<const spacer_s*>(data);
        return 1;
    case UIC_MSG_MEASURE:
        ui__answer(data, s->width, s->height);
        return 1;
    default:
        return 0;
    }
}

} // namespace

// ---- adding functions -------------------------------------------------------------------

uic_s* ui_add_button(ui_s* ui, const char* label, ui_button_cb callback, void* user) {
    button_setup_s setup = {label, user, callback};
    return ui__add(ui, button_proc, nullptr, &setup, nullptr);
}

void ui_button_label(ui_s*, uic_s* button, const char* label) {
    uic_msg_send(button, UIC_MSG_SET_TEXT, &label);
}

void ui_button_icon(ui_s*, uic_s* button, char icon) {
    uic_msg_send(button, UIC_MSG_SET_ICON, &icon);
}

void ui_button_side(ui_s*, uic_s* button, ui_button_cb callback, void* user) {
    button_s* b = ui__state<button_s>(button);
    b->side_callback = callback;
    b->side_user = user;
}

uic_s* ui_add_slider(ui_s* ui, const char* label, const char* key, float min, float max) {
    slider_setup_s setup = {label, min, max, ui_model_get_float(ui_model_get(ui), key)};
    return ui__add(ui, slider_proc, nullptr, &setup, key);
}

uic_s* ui_slider_set_exp(uic_s* slider, float exponent) {
    ui__state<slider_s>(slider)->exponent = exponent;
    return slider;
}

uic_s* ui_slider_set_scale(uic_s* slider, float scale) {
    ui__state<slider_s>(slider)->scale = scale;
    return slider;
}

uic_s* ui_add_checkbox(ui_s* ui, const char* label, const char* key) {
    checkbox_setup_s setup = {label, ui_model_get_bool(ui_model_get(ui), key) ? (unsigned char)1
                                                                              : (unsigned char)0};
    return ui__add(ui, checkbox_proc, nullptr, &setup, key);
}

uic_s* ui_add_label(ui_s* ui, const char* text, unsigned flags) {
    label_setup_s setup = {text, flags};
    return ui__add(ui, label_proc, nullptr, &setup, nullptr);
}

uic_s* ui_add_spacer(ui_s* ui, float width, float height) {
    spacer_s setup = {width, height};
    return ui__add(ui, spacer_proc, nullptr, &setup, nullptr);
}
