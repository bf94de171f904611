// List, icon set, segment and wizard: controls whose only state of interest
// is an index kept in the model.

#include "ui/ui_select.h"

#include <cmath>
#include <cstdlib>

#include "gr/gr_color.h"
#include "gr/gr_context.h"
#include "ui/ui_internal.h"
#include "ui/ui_theme.h"
#include "ui/ui_widget.h"

namespace {

// The chosen index: the bound value truncated.
int32_t chosen(uic_s* control) {
    return ui__to_int(ui__model_get_float(control));
}

// Draws text scaled to fit (max_w, max_h) for positioning, centred in the
// box at (x, y); the glyphs stay at size.
void fitted_text(Context* c, const char* text, float size, float x, float y, float max_w,
                 float max_h) {
    float tw, th;
    ui__text_measure(c, UI_FONT_TEXT, size, text, &tw, &th);
    const float k = ui__text_fit(tw, th, max_w, max_h);
    gr_context_text(c, text, x + 0.5f * (max_w - k * tw), y + 0.5f * (max_h - k * th));
}

// Picking shared by the list and the icon set: a press arms, the release
// chooses the first rectangle (from the last frame) that holds the point.
struct picker_s {
    int count;
    ui_rect_s* rects;
    int pressing;
};

void picker_setup(picker_s* p, int count) {
    p->count = count > 0 ? count : 0;
    std::free(p->rects);
    p->rects = static_cast<ui_rect_s*>(std::calloc(size_t(p->count) + 1, sizeof(ui_rect_s)));
}

void picker_release(uic_s* control, picker_s* p, const uic_mouse_s* e) {
    uic_mouse_release(control);
    if (!p->pressing)
        return;
    p->pressing = 0;
    for (int i = 0; i < p->count; i++) {
        if (ui__rect_contains(p->rects[i], e->x, e->y)) {
            ui__model_update_float(control, float(i));
            return;
        }
    }
}

// The messages the list and the icon set answer alike: their state of size
// bytes (a picker_s first) made and freed, the press and the release. Returns
// -1 for the others.
int picker_messages(uic_s* control, int message, void* data, size_t size) {
    if (message == UIC_MSG_DESTROY)
        std::free(ui__state<picker_s>(control)->rects);
    if (ui__state_lifecycle(control, message, size))
        return 1;
    picker_s* p = ui__state<picker_s>(control);
    switch (message) {
    case UIC_MSG_MOUSE_DOWN:
        uic_mouse_capture(control);
        p->pressing = 1;
        return 1;
    case UIC_MSG_MOUSE_UP:
        picker_release(control, p, static_cast<const uic_mouse_s*>(data));
        return 1;
    default:
        return -1;
    }
}

// One cell of the list or the icon row: a framed face in color with the
// given corners rounded and the text fitted inside.
void cell_face(Context* c, const ui_rect_s& r, int corners, gr_color_t color, bool is_chosen,
               const char* text) {
    gr_context_fill_color(c, color);
    gr_context_stroke_color(c, ui__frame_color());
    gr_context_draw_roundrect(c, corners, r.x, r.y, r.width, r.height, 4);
    gr_context_fill_color(c, ui_theme_color_text(is_chosen));
    fitted_text(c, text, 16.0f, r.x, r.y, r.width, r.height);
}

// ---- list -------------------------------------------------------------------------------

constexpr float kRowHeight = 36.0f;

struct list_s {
    picker_s pick; // first: picker_messages reaches it through the cookie
    const char** items;
};

struct list_setup_s {
    int count;
    const char** items;
};

void list_rows(list_s* s, float width) {
    for (int i = 0; i < s->pick.count; i++)
        s->pick.rects[i] = {5.0f, kRowHeight * float(i), width - 10.0f, kRowHeight};
}

void list_draw(uic_s* control, list_s* s, const uic_draw_s* d) {
    auto* c = static_cast<Context*>(d->context);
    list_rows(s, d->width);
    const int32_t sel = chosen(control);
    const int last = s->pick.count - 1;
    for (int i = 0; i <= last; i++) {
        const ui_rect_s& r = s->pick.rects[i];
        gr_color_t color = ui_theme_color_key();
        if (i != sel) {
            color = gr_color_darker(ui_theme_color_button(), 0.125f);
            if (ui__rect_contains(r, d->mouse_x, d->mouse_y))
                color = gr_color_lighter(color, 0.125f);
        }
        const int corners = i == 0      ? GR_CORNER_TOP_LEFT | GR_CORNER_TOP_RIGHT
                            : i == last ? GR_CORNER_BOTTOM_LEFT | GR_CORNER_BOTTOM_RIGHT
                                        : 0;
        cell_face(c, r, corners, color, i == sel, s->items[i]);
    }
}

int list_proc(uic_s* control, int message, void* data) {
    const int common = picker_messages(control, message, data, sizeof(list_s));
    if (common >= 0)
        return common;
    list_s* s = ui__state<list_s>(control);
    switch (message) {
    case UIC_MSG_SETUP: {
        const auto* p = static_cast<const list_setup_s*>(data);
        picker_setup(&s->pick, p->count);
        s->items = p->items;
        return 1;
    }
    case UIC_MSG_LAYOUT:
        list_rows(s, static_cast<const uic_layout_s*>(data)->width);
        return 1;
    case UIC_MSG_MEASURE:
        ui__answer(data, -1.0f, -1.0f);
        return 1;
    case UIC_MSG_DRAW:
        list_draw(control, s, static_cast<const uic_draw_s*>(data));
        return 1;
    default:
        return 0;
    }
}

// ---- icon set ---------------------------------------------------------------------------

constexpr float kCellGap = 5.0f, kRowBarHeight = 24.0f;

struct icon_set_s {
    picker_s pick; // first, as in list_s
    unsigned flags;
    const char** labels;
    gr_image_s** images;
};

struct icon_set_setup_s {
    int count;
    const char** labels;
    gr_image_s** images;
    unsigned flags;
};

float grid_cell(float width) {
    return (width - 10.0f) / 3.0f;
}

// Grid: three columns of square cells 5 points apart. Row: n segments that
// share one point of border and together span the width exactly.
void icon_set_cells(icon_set_s* s, float width) {
    const int n = s->pick.count;
    if (s->flags & UI_ICON_SET_ROW) {
        const float sw = (width + float(n) - 1.0f) / float(n);
        for (int i = 0; i < n; i++)
            s->pick.rects[i] = {float(i) * (sw - 1.0f), 0.0f, sw, kRowBarHeight};
        return;
    }
    const float cell = grid_cell(width);
    for (int i = 0; i < n; i++)
        s->pick.rects[i] = {float(i % 3) * (cell + kCellGap), float(i / 3) * (cell + kCellGap),
                            cell, cell};
}

void icon_set_measure(const icon_set_s* s, uic_measure_s* m) {
    if (s->flags & UI_ICON_SET_ROW) {
        ui__answer(m, -1.0f, kRowBarHeight);
        return;
    }
    const int rows = (s->pick.count + 2) / 3;
    const float cell = grid_cell(m->width);
    ui__answer(m, -1.0f, rows > 0 ? float(rows) * cell + float(rows - 1) * kCellGap : 0.0f);
}

gr_color_t cell_color(bool is_chosen, bool hovered) {
    if (is_chosen)
        return ui_theme_color_key();
    return hovered ? gr_color_lighter(ui_theme_color_button(), 0.125f) : ui_theme_color_button();
}

void icon_set_draw_grid(icon_set_s* s, int32_t sel, Context* c, const uic_draw_s* d) {
    gr_context_xpush(c);
    gr_context_scissor(c, 0, 0, int(d->width), int(d->height));
    for (int i = 0; i < s->pick.count; i++) {
        const ui_rect_s& r = s->pick.rects[i];
        const float cell = r.width;
        gr_context_fill_color(c,
                              cell_color(i == sel, ui__rect_contains(r, d->mouse_x, d->mouse_y)));
        gr_context_stroke_color(c, ui_theme_color_button());
        gr_context_draw_roundrect(c, GR_CORNER_ALL, r.x, r.y, cell, cell, 4);
        float tw, th;
        ui__text_measure(c, UI_FONT_TEXT, 16.0f, s->labels[i], &tw, &th);
        gr_context_fill_color(c, ui_theme_color_text(i == sel));
        gr_context_text(c, s->labels[i], r.x + 0.5f * (cell - tw), r.y + cell - th);
        gr_image_s* image = s->images ? s->images[i] : nullptr;
        if (image) {
            const float iw = float(gr_image_get_width(image)),
                        ih = float(gr_image_get_height(image));
            const float k = std::fmin((cell - 5.0f) / iw, (cell - 20.0f) / ih);
            gr_context_draw_image(c, image, int(r.x + 0.5f * (cell - k * iw)),
                                  int(r.y + 5.0f + 0.5f * (cell - 20.0f - k * ih)), int(k * iw),
                                  int(k * ih));
        }
    }
    gr_context_xpop(c);
}

void icon_set_draw_row(icon_set_s* s, int32_t sel, Context* c, const uic_draw_s* d) {
    const int last = s->pick.count - 1;
    for (int i = 0; i <= last; i++) {
        const ui_rect_s& r = s->pick.rects[i];
        int corners = 0;
        if (i == 0)
            corners |= GR_CORNER_TOP_LEFT | GR_CORNER_BOTTOM_LEFT;
        if (i == last)
            corners |= GR_CORNER_TOP_RIGHT | GR_CORNER_BOTTOM_RIGHT;
        cell_face(c, r, corners, cell_color(i == sel, ui__rect_contains(r, d->mouse_x, d->mouse_y)),
                  i == sel, s->labels[i]);
    }
}

int icon_set_proc(uic_s* control, int message, void* data) {
    const int common = picker_messages(control, message, data, sizeof(icon_set_s));
    if (common >= 0)
        return common;
    icon_set_s* s = ui__state<icon_set_s>(control);
    switch (message) {
    case UIC_MSG_SETUP: {
        const auto* p = static_cast<const icon_set_setup_s*>(data);
        picker_setup(&s->pick, p->count);
        s->flags = p->flags;
        s->labels = p->labels;
        s->images = p->images;
        return 1;
    }
    case UIC_MSG_LAYOUT:
        icon_set_cells(s, static_cast<const uic_layout_s*>(data)->width);
        return 1;
    case UIC_MSG_MEASURE:
        icon_set_measure(s, static_cast<uic_measure_s*>(data));
        return 1;
    case UIC_MSG_DRAW: {
        const auto* d = static_cast<const uic_draw_s*>(data);
        icon_set_cells(s, d->width);
        auto* c = static_cast<Context*>(d->context);
        if (s->flags & UI_ICON_SET_ROW)
            icon_set_draw_row(s, chosen(control), c, d);
        else
            icon_set_draw_grid(s, chosen(control), c, d);
        return 1;
    }
    default:
        return 0;
    }
}

// ---- segment and wizard -----------------------------------------------------------------

// Both split their width into count equal parts; a press and a release on the
// same part choose it, and a release outside the control chooses nothing.
struct parts_s {
    int count;
    const char** labels;
    int pressed;
    unsigned pressing;
};

int part_at(const parts_s* s, uic_s* control, float x) {
    const float w = uic_get_width(control);
    if (s->count <= 0 || !(x >= 0.0f && x < w))
        return -1;
    return ui__to_int(float(s->count) * x / w);
}

void parts_down(uic_s* control, parts_s* s, const uic_mouse_s* e) {
    uic_mouse_capture(control);
    s->pressing = 1;
    s->pressed = part_at(s, control, e->x);
}

void parts_up(uic_s* control, parts_s* s, const uic_mouse_s* e) {
    if (s->pressing) {
        const int part = part_at(s, control, e->x);
        if (part >= 0 && part == s->pressed && e->y >= 0.0f && e->y < uic_get_height(control))
            ui__model_update_float(control, float(part));
    }
    uic_mouse_release(control);
    s->pressing = 0;
}

struct parts_setup_s {
    int count;
    const char** labels;
    float current; // the wizard's value read before the node exists; not used
};

constexpr float kSegmentRadius = 5.0f;

// The segmented bar: one rounded face, the chosen part in the accent colour,
// the part under the mouse lighter, separators in the background colour.
void segment_draw(uic_s* control, const parts_s* s, const uic_draw_s* d) {
    auto* c = static_cast<Context*>(d->context);
    const float W = d->width, H = d->height;
    gr_context_fill_color(c, ui_theme_color_button());
    gr_context_stroke_color(c, ui_theme_color_fill());
    gr_context_draw_roundrect(c, GR_CORNER_ALL, 0, 0, W, H, kSegmentRadius);
    if (s->count <= 0)
        return;
    const int32_t sel = chosen(control);
    const float pw = W / float(s->count);
    for (int i = 0; i < s->count; i++) {
        const float x = float(i) * pw;
        const bool hovered = ui__rect_contains({x, 0, pw, H}, d->mouse_x, d->mouse_y);
        if (i == sel || hovered) {
            int corners = 0;
            if (i == 0)
                corners |= GR_CORNER_TOP_LEFT | GR_CORNER_BOTTOM_LEFT;
            if (i == s->count - 1)
                corners |= GR_CORNER_TOP_RIGHT | GR_CORNER_BOTTOM_RIGHT;
            gr_context_fill_color(c, cell_color(i == sel, hovered));
            gr_context_stroke_color(c, ui_theme_color_fill());
            gr_context_draw_roundrect(c, corners, x, 0, pw, H, kSegmentRadius);
        }
        if (i > 0) {
            gr_context_stroke_color(c, ui_theme_color_fill());
            gr_context_draw_line(c, x, 0, x, H);
        }
        gr_context_fill_color(c, ui_theme_color_text(i == sel));
        fitted_text(c, s->labels[i], 16.0f, x, 0, pw, H);
    }
}

// Steps are drawn from the last to the first so that each step's point lies
// over its right neighbour.
void wizard_draw(uic_s* control, const parts_s* s, const uic_draw_s* d) {
    if (s->count <= 0)
        return;
    auto* c = static_cast<Context*>(d->context);
    const float W = d->width, H = d->height, point = 0.25f * H;
    const int32_t current = chosen(control);
    const gr_color_t base = gr_color_darker(ui_theme_color_fill(), 0.5436893f);
    const gr_color_t hover = gr_color_lighter(base, 0.125f);
    const float sw = W / float(s->count);
    for (int i = s->count - 1; i >= 0; i--) {
        const float x = float(i) * sw;
        gr_color_t color = base;
        if (i == current)
            color = ui_theme_color_key();
        else if (ui__rect_contains({x, 0, sw + point, H}, d->mouse_x, d->mouse_y))
            color = hover;
        gr_context_fill_color(c, color);
        gr_context_stroke_color(c, ui_theme_color_fill());
        gr_ui_arrow_box(c, x, 0, sw, H, point);
        float tw, th;
        ui__text_measure(c, UI_FONT_TEXT, 18.0f, s->labels[i], &tw, &th);
        gr_context_fill_color(c, ui_theme_color_text(i == current));
        gr_context_text(c, s->labels[i], x + 0.5f * (sw - tw), 0.5f * (H - th));
    }
}

// The procedure of the segment and the wizard: they differ only in their
// measure answer (w, h) and in draw.
int parts_proc(uic_s* control, int message, void* data, float w, float h,
               void (*draw)(uic_s*, const parts_s*, const uic_draw_s*)) {
    if (ui__state_lifecycle(control, message, sizeof(parts_s)))
        return 1;
    parts_s* s = ui__state<parts_s>(control);
    switch (message) {
    case UIC_MSG_SETUP: {
        const auto* p = static_cast<const parts_setup_s*>(data);
        s->count = p->count;
        s->labels = p->labels;
        return 1;
    }
    case UIC_MSG_MOUSE_DOWN:
        parts_down(control, s, static_cast<const uic_mouse_s*>(data));
        return 1;
    case UIC_MSG_MOUSE_UP:
        parts_up(control, s, static_cast<const uic_mouse_s*>(data));
        return 1;
    case UIC_MSG_MEASURE:
        ui__answer(data, w, h);
        return 1;
    case UIC_MSG_DRAW:
        draw(control, s, static_cast<const uic_draw_s*>(data));
        return 1;
    default:
        return 0;
    }
}

int segment_proc(uic_s* control, int message, void* data) {
    return parts_proc(control, message, data, 48.0f, 32.0f, segment_draw);
}

int wizard_proc(uic_s* control, int message, void* data) {
    return parts_proc(control, message, data, -1.0f, 40.0f, wizard_draw);
}

} // namespace

// ---- adding functions -------------------------------------------------------------------

uic_s* ui_add_list(ui_s* ui, int count, const char** items, const char* key) {
    list_setup_s setup = {count, items};
    return ui__add(ui, list_proc, nullptr, &setup, key);
}

uic_s* ui_add_icon_set(ui_s* ui, int count, const char** labels, gr_image_s** images,
                       const char* key, unsigned flags) {
    icon_set_setup_s setup = {count, labels, images, flags};
    return ui__add(ui, icon_set_proc, nullptr, &setup, key);
}

void ui_icon_set_update(ui_s*, uic_s* icon_set, int count, const char** labels, gr_image_s** images,
                        unsigned flags) {
    icon_set_setup_s setup = {count, labels, images, flags};
    uic_msg_send(icon_set, UIC_MSG_SETUP, &setup);
}

uic_s* ui_add_segment(ui_s* ui, int count, const char** items, const char* key) {
    parts_setup_s setup = {count, items, 0.0f};
    return ui__add(ui, segment_proc, nullptr, &setup, key);
}

uic_s* ui_add_wizard(ui_s* ui, int count, const char** labels, const char* key) {
    parts_setup_s setup = {count, labels, float(ui_model_get_int(ui_model_get(ui), key))};
    return ui__add(ui, wizard_proc, nullptr, &setup, key);
}
