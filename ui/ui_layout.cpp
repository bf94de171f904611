// Layout containers (no layout, fill, vertical and horizontal stacks) and the
// layout stack used while a UI is built.

#include "ui/ui_layout.h"

#include "app/app_assert.h"
#include "ui/ui_internal.h"

// ---- containers --------------------------------------------------------------------------

static float ui__spacing(uic_s* control) {
    return *static_cast<const float*>(uic_cookie_get(control));
}

// A child's natural size: its forced size when in force, else its answer when
// offered (w, h). A child that does not answer keeps the offer.
static ui_size_s ui__natural(uic_s* child, void* context, float w, float h) {
    float forced[2];
    if (uic_get_forced_dims(child, forced))
        return {forced[0], forced[1]};
    uic_measure_s m = {context, w, h};
    uic_msg_send(child, UIC_MSG_MEASURE, &m);
    return {m.width, m.height};
}

static void ui__no_layout(uic_s* control, const uic_layout_s* l) {
    for (uic_s* c = control->first_child; c; c = c->next) {
        ui_size_s s = ui__natural(c, l->context, l->width, l->height);
        if (!(s.width >= 0.0f))
            s.width = l->width;
        if (!(s.height >= 0.0f))
            s.height = l->height;
        uic_place(c, {0.0f, 0.0f}, s);
    }
}

static void ui__fill_layout(uic_s* control, const uic_layout_s* l) {
    for (uic_s* c = control->first_child; c; c = c->next)
        uic_place(c, {0.0f, 0.0f}, {l->width, l->height});
}

// The stacks: children placed one after the other along the column (row
// false) or the row, spacing apart, each spanning the other direction fully.
// In a column, a child with a natural height keeps it and the others share
// what is left by weight. In a row, weight 1 is neutral: a child with a
// natural width keeps exactly that unless its weight was changed, and then
// grows by its share of what is left. A child without a natural size
// (negative or not a number) gets its share only.
static void ui__stack_layout(uic_s* control, const uic_layout_s* l, bool row) {
    const float s = ui__spacing(control);
    float fixed = 0.0f, total_weight = 0.0f;
    for (uic_s* c = control->first_child; c; c = c->next) {
        const ui_size_s n = ui__natural(c, l->context, l->width, l->height);
        const float along = row ? n.width : n.height;
        if (along > 0.0f)
            fixed += along;
        if (row ? (!(along >= 0.0f) || c->weight != 1.0f) : !(along > 0.0f))
            total_weight += c->weight;
        if (c->next)
            fixed += s;
    }
    const float remaining = (row ? l->width : l->height) - fixed;
    float at = 0.0f;
    for (uic_s* c = control->first_child; c; c = c->next) {
        const ui_size_s n = ui__natural(c, l->context, l->width, l->height);
        const float along = row ? n.width : n.height, g = c->weight;
        float size = along;
        if (!(along >= 0.0f))
            size = g / total_weight * remaining;
        else if (row && g != 1.0f)
            size = g / total_weight * remaining + along;
        if (row)
            uic_place(c, {at, 0.0f}, {size, l->height});
        else
            uic_place(c, {0.0f, at}, {l->width, size});
        at += size + s;
    }
}

static void ui__vertical_layout(uic_s* control, const uic_layout_s* l) {
    ui__stack_layout(control, l, false);
}

static void ui__horizontal_layout(uic_s* control, const uic_layout_s* l) {
    ui__stack_layout(control, l, true);
}

// A row is as high as its tallest child offered nothing; it has no width of
// its own. Forced sizes are not consulted, and a silent child counts as 0.
static void ui__horizontal_measure(uic_s* control, uic_measure_s* m) {
    float height = -1.0f;
    for (uic_s* c = control->first_child; c; c = c->next) {
        uic_measure_s cm = {m->context, 0.0f, 0.0f};
        uic_msg_send(c, UIC_MSG_MEASURE, &cm);
        if (cm.height > height)
            height = cm.height;
    }
    m->width = -1.0f;
    m->height = height;
}

// The procedure of the four containers: they keep one float (the spacing)
// behind the cookie, lay their children out with layout, and answer measure
// through measure, or with no size of their own when it is null.
static int ui__container_proc(uic_s* control, int message, void* data,
                              void (*layout)(uic_s*, const uic_layout_s*),
                              void (*measure)(uic_s*, uic_measure_s*)) {
    if (ui__state_lifecycle(control, message, sizeof(float)))
        return 1;
    switch (message) {
    case UIC_MSG_SETUP:
        *ui__state<float>(control) = *static_cast<const float*>(data);
        return 1;
    case UIC_MSG_LAYOUT:
        layout(control, static_cast<const uic_layout_s*>(data));
        return 1;
    case UIC_MSG_MEASURE:
        if (measure)
            measure(control, static_cast<uic_measure_s*>(data));
        else
            ui__answer(data, -1.0f, -1.0f);
        return 1;
    default:
        return 0;
    }
}

int ui__no_layout_proc(uic_s* control, int message, void* data) {
    return ui__container_proc(control, message, data, ui__no_layout, nullptr);
}

static int ui__fill_layout_proc(uic_s* control, int message, void* data) {
    return ui__container_proc(control, message, data, ui__fill_layout, nullptr);
}

static int ui__vertical_layout_proc(uic_s* control, int message, void* data) {
    return ui__container_proc(control, message, data, ui__vertical_layout, nullptr);
}

static int ui__horizontal_layout_proc(uic_s* control, int message, void* data) {
    return ui__container_proc(control, message, data, ui__horizontal_layout,
                              ui__horizontal_measure);
}

// ---- the layout stack --------------------------------------------------------------------

static uic_s* ui__push_new(ui_s* ui, uic_proc proc, float spacing) {
    uic_s* control = ui__add(ui, proc, nullptr, &spacing, nullptr);
    ui_layout_push(ui, control);
    ui->weight = 1.0f;
    return control;
}

uic_s* ui_layout_push_vertical(ui_s* ui, float spacing) {
    return ui__push_new(ui, ui__vertical_layout_proc, spacing);
}

uic_s* ui_layout_push_horizontal(ui_s* ui, float spacing) {
    return ui__push_new(ui, ui__horizontal_layout_proc, spacing);
}

uic_s* ui_layout_push_fill(ui_s* ui) {
    return ui__push_new(ui, ui__fill_layout_proc, 0.0f);
}

void ui_layout_push(ui_s* ui, uic_s* control) {
    SW_ASSERT(ui->depth + 1 < UI__STACK_SIZE, "more than 15 layout pushes are open");
    ui->depth++;
    ui->stack[ui->depth] = control;
}

void ui_layout_pop(ui_s* ui) {
    SW_ASSERT(ui->depth > 1, "ui_layout_pop without a matching push");
    ui->stack[ui->depth] = nullptr;
    ui->depth--;
    ui->weight = 1.0f;
}

void ui_layout_weight(ui_s* ui, float weight) {
    ui->weight = weight;
}

void ui_layout_pad(ui_s*, uic_s* control, float left, float top, float right, float bottom) {
    control->pad_left = left;
    control->pad_top = top;
    control->pad_right = right;
    control->pad_bottom = bottom;
}

void ui_layout_dims(ui_s*, uic_s* control, float width, float height) {
    control->forced_width = width;
    control->forced_height = height;
}
