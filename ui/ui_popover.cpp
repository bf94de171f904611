// The popover: a capture-holding control covering the root that shows a
// second UI in a box above its anchor and forwards input to it.

#include "ui/ui_popover.h"

#include <cstdlib>

#include "gr/gr_color.h"
#include "gr/gr_context.h"
#include "ui/ui_internal.h"
#include "ui/ui_theme.h"

namespace {

constexpr float kDefaultWidth = 320.0f, kGap = 10.0f, kMargin = 10.0f;

struct popover_s {
    char text[64];
    float anchor_x, anchor_y;
    float content_width, content_height;
    ui_rect_s box;
    float width; // requested content width; 0 = default
    ui_s* content;
    unsigned flags;
};

struct popover_setup_s {
    float x, y;
    ui_s* content;
    unsigned flags;
};

// The box sits centred above the anchor with a gap, moved sideways when it
// would leave the control (width wide) on the right or on the left.
ui_rect_s popover_box(const popover_s* s, float width) {
    const float W = s->content_width, H = s->content_height;
    float left = s->anchor_x - 0.5f * W;
    if (W < width) {
        if (left + W > width)
            left = width - W;
        if (left < 0.0f)
            left = 0.0f;
    }
    return {left, s->anchor_y - kGap - H, W, H};
}

// Lays the content's first child out at the requested width to learn the
// box size, then covers the whole root so that every point reaches us.
void popover_layout(uic_s* control, popover_s* s, const uic_layout_s* l) {
    const float width = s->width != 0.0f ? s->width : kDefaultWidth;
    uic_s* first = uic_child_next(ui__root(s->content), nullptr);
    if (first) {
        uic_layout_s rec = {l->context, 0.0f, 0.0f, width, l->height};
        uic_msg_send(first, UIC_MSG_LAYOUT, &rec);
        const ui_rect_s b = uic_get_child_bounds(first);
        s->content_width = b.width;
        s->content_height = b.height + 2.0f * kMargin;
    } else {
        s->content_width = 0.0f;
        s->content_height = 2.0f * kMargin;
    }
    uic_place(control, {0.0f, 0.0f}, {l->width, l->height});
    s->box = popover_box(s, l->width);
}

void popover_draw(popover_s* s, const uic_draw_s* d) {
    auto* c = static_cast<Context*>(d->context);
    s->box = popover_box(s, d->width);
    const float left = s->box.x, top = s->box.y, W = s->box.width, H = s->box.height;
    gr_context_stroke_color(c, 0);
    gr_context_fill_color(c,
                          gr_color_with_alpha(gr_color_darker(ui_theme_color_fill(), 0.2f), 225));
    gr_context_draw_roundrect(c, GR_CORNER_ALL, left, top, W, H, 5.0f);
    const float ax = s->anchor_x, ay = s->anchor_y;
    const float tri[6] = {ax, ay, ax - kGap, ay - kGap, ax + kGap, ay - kGap};
    gr_context_draw_poly(c, 3, tri);
    ui_draw(s->content, c, left + kMargin, top + kMargin, W - 2.0f * kMargin, H - 2.0f * kMargin);
}

// Positions passed on need no conversion: the popover and the content's
// root share the window's frame.
int popover_proc(uic_s* control, int message, void* data) {
    if (message == UIC_MSG_DESTROY) {
        const popover_s* s = ui__state<popover_s>(control);
        if (s->flags & UI_POPOVER_OWNS_CONTENT)
            ui_destroy(s->content);
    }
    if (ui__state_lifecycle(control, message, sizeof(popover_s)))
        return 1;
    popover_s* s = ui__state<popover_s>(control);
    switch (message) {
    case UIC_MSG_SETUP: {
        const auto* p = static_cast<const popover_setup_s*>(data);
        s->anchor_x = p->x;
        s->anchor_y = p->y;
        s->content = p->content;
        s->flags = p->flags;
        uic_mouse_capture(control);
        return 1;
    }
    case UIC_MSG_KEY_DOWN: {
        const auto* k = static_cast<const uic_key_s*>(data);
        ui_key_down(s->content, k->key, k->modifiers);
        return 1;
    }
    case UIC_MSG_KEY_UP: {
        const auto* k = static_cast<const uic_key_s*>(data);
        ui_key_up(s->content, k->key, k->modifiers);
        return 1;
    }
    case UIC_MSG_MOUSE_DOWN: {
        const auto* e = static_cast<const uic_mouse_s*>(data);
        if (ui__rect_contains(s->box, e->x, e->y))
            ui_mouse_down(s->content, e->button, e->modifiers, e->x, e->y);
        else
            uic_remove(control); // a click outside dismisses it
        return 1;
    }
    case UIC_MSG_MOUSE_MOVE: {
        const auto* e = static_cast<const uic_mouse_s*>(data);
        ui_mouse_move(s->content, e->modifiers, e->x, e->y);
        return 1;
    }
    case UIC_MSG_MOUSE_UP: {
        const auto* e = static_cast<const uic_mouse_s*>(data);
        ui_mouse_up(s->content, e->button, e->modifiers, e->x, e->y);
        return 1;
    }
    case UIC_MSG_LAYOUT:
        popover_layout(control, s, static_cast<const uic_layout_s*>(data));
        return 1;
    case UIC_MSG_MEASURE:
        ui__answer(data, -1.0f, -1.0f);
        return 1;
    case UIC_MSG_DRAW:
        popover_draw(s, static_cast<const uic_draw_s*>(data));
        return 1;
    case UIC_MSG_SET_TEXT:
        ui__copy_text(s->text, *static_cast<const char* const*>(data), sizeof s->text);
        return 1;
    default:
        return 0;
    }
}

} // namespace

uic_s* ui_popover_present(ui_s* ui, ui_s* content, unsigned flags, float x, float y) {
    auto* control = static_cast<uic_s*>(std::calloc(1, sizeof(uic_s)));
    control->ui = ui;
    control->proc = popover_proc;
    uic_msg_send(control, UIC_MSG_CREATE, nullptr);
    popover_setup_s setup = {x, y, content, flags};
    uic_msg_send(control, UIC_MSG_SETUP, &setup);
    uic_s* root = ui__root(ui);
    uic_s** link = &root->first_child;
    while (*link)
        link = &(*link)->next;
    *link = control;
    control->parent = root;
    return control;
}

void ui_popover_set_width(uic_s* popover, float width) {
    ui__state<popover_s>(popover)->width = width;
}

ui_rect_s ui_popover_box(uic_s* popover) {
    return ui__state<popover_s>(popover)->box;
}
