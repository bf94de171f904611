// The control tree: nodes, adding and freeing, geometry queries, and the
// layout and draw passes run once per frame.

#include "ui/ui.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "app/app_assert.h"
#include "gr/gr_context.h"
#include "ui/ui_internal.h"

// ---- UI object --------------------------------------------------------------------------

ui_s* ui_create(ui_model_s* model) {
    auto* ui = static_cast<ui_s*>(std::calloc(1, sizeof(ui_s)));
    ui->model = model;
    auto* root = static_cast<uic_s*>(std::calloc(1, sizeof(uic_s)));
    root->ui = ui;
    root->proc = ui__no_layout_proc;
    uic_msg_send(root, UIC_MSG_CREATE, nullptr);
    ui->stack[0] = root;
    ui->mouse_x = INFINITY;
    ui->mouse_y = INFINITY;
    float spacing = 4.0f;
    uic_msg_send(root, UIC_MSG_SETUP, &spacing);
    ui->stack[1] = root;
    ui->depth = 1;
    ui->weight = 1.0f;
    return ui;
}

static void ui__free_subtree(uic_s* control) {
    for (uic_s* child = control->first_child; child;) {
        uic_s* next = child->next;
        ui__free_subtree(child);
        child = next;
    }
    uic_msg_send(control, UIC_MSG_DESTROY, nullptr);
    ui_s* ui = control->ui;
    if (ui->hover == control)
        ui->hover = nullptr;
    if (ui->captured == control)
        ui->captured = nullptr;
    std::free(control->binding);
    std::free(control);
}

void ui_destroy(ui_s* ui) {
    if (!ui)
        return;
    ui__free_subtree(ui->stack[0]);
    for (ui_hotkey_s* h = ui->hotkeys; h;) {
        ui_hotkey_s* next = h->next;
        std::free(h);
        h = next;
    }
    std::free(ui);
}

uic_s* ui__root(ui_s* ui) {
    return ui->stack[0];
}

ui_model_s* ui_model_get(ui_s* ui) {
    return ui->model;
}

// ---- adding and removing ----------------------------------------------------------------

void ui__copy_text(char* dst, const char* src, int size) {
    if (!src)
        src = "";
    const size_t n = strnlen(src, size_t(size - 1));
    std::memcpy(dst, src, n);
    dst[n] = 0;
}

bool ui__state_lifecycle(uic_s* control, int message, size_t size) {
    if (message == UIC_MSG_CREATE) {
        uic_cookie_set(control, std::calloc(1, size));
        return true;
    }
    if (message == UIC_MSG_DESTROY) {
        std::free(uic_cookie_get(control));
        return true;
    }
    return false;
}

void ui__answer(void* data, float w, float h) {
    auto* m = static_cast<uic_measure_s*>(data);
    m->width = w;
    m->height = h;
}

uic_s* ui__add(ui_s* ui, uic_proc proc, void* create_data, void* setup, const char* key) {
    auto* control = static_cast<uic_s*>(std::calloc(1, sizeof(uic_s)));
    control->ui = ui;
    control->proc = proc;
    uic_msg_send(control, UIC_MSG_CREATE, create_data);
    if (setup)
        uic_msg_send(control, UIC_MSG_SETUP, setup);
    uic_s* parent = ui->stack[ui->depth];
    uic_s** link = &parent->first_child;
    while (*link)
        link = &(*link)->next;
    *link = control;
    control->parent = parent;
    if (key) {
        std::free(control->binding);
        control->binding = strdup(key);
    }
    control->weight = ui->weight;
    return control;
}

uic_s* ui_add_custom(ui_s* ui, uic_proc proc, void* user) {
    return ui__add(ui, proc, user, nullptr, nullptr);
}

void uic_remove(uic_s* control) {
    SW_ASSERT(control->parent, "the root is freed by ui_destroy only");
    ui_s* ui = control->ui;
    if (ui->captured == control)
        ui->captured = nullptr;
    if (ui->hover == control)
        ui->hover = nullptr;
    uic_s** link = &control->parent->first_child;
    while (*link != control)
        link = &(*link)->next;
    *link = control->next;
    ui__free_subtree(control);
}

void uic_child_clear(uic_s* control) {
    while (control->first_child)
        uic_remove(control->first_child);
}

// ---- fields and geometry ----------------------------------------------------------------

ui_s* uic_get_ui(uic_s* control) {
    return control->ui;
}

const char* uic_get_binding(uic_s* control) {
    return control->binding;
}

float uic_get_width(uic_s* control) {
    return control->width;
}

float uic_get_height(uic_s* control) {
    return control->height;
}

float uic_get_layout_weight(uic_s* control) {
    return control->weight;
}

bool uic_get_forced_dims(uic_s* control, float out[2]) {
    if (control->forced_width == 0.0f || control->forced_height == 0.0f)
        return false;
    out[0] = control->forced_width;
    out[1] = control->forced_height;
    return true;
}

void uic_cookie_set(uic_s* control, void* cookie) {
    control->cookie = cookie;
}

void* uic_cookie_get(uic_s* control) {
    return control->cookie;
}

uic_s* uic_child_next(uic_s* parent, uic_s* previous) {
    return previous ? previous->next : parent->first_child;
}

void uic_place(uic_s* control, ui_point_s position, ui_size_s size) {
    control->x = position.x + control->pad_left;
    control->y = position.y + control->pad_top;
    control->width = size.width - control->pad_left - control->pad_right;
    control->height = size.height - control->pad_top - control->pad_bottom;
}

ui_rect_s uic_get_child_bounds(uic_s* control) {
    ui_rect_s r = {0, 0, 0, 0};
    for (uic_s* c = control->first_child; c; c = c->next) {
        if (r.width == 0.0f || r.height == 0.0f) {
            r = {c->x, c->y, c->width, c->height};
        } else if (c->width != 0.0f && c->height != 0.0f) {
            const float left = std::fmin(r.x, c->x), top = std::fmin(r.y, c->y);
            const float right = std::fmax(r.x + r.width, c->x + c->width);
            const float bottom = std::fmax(r.y + r.height, c->y + c->height);
            r = {left, top, right - left, bottom - top};
        }
    }
    return r;
}

ui_point_s ui__origin(uic_s* control) {
    ui_point_s p = {0, 0};
    for (uic_s* c = control; c; c = c->parent) {
        p.x += c->x;
        p.y += c->y;
    }
    return p;
}

ui_point_s uic_local_to_screen(uic_s* control, ui_point_s p) {
    const ui_point_s o = ui__origin(control);
    return {p.x + o.x, p.y + o.y};
}

void uic_screen_to_local(uic_s* control, float* x, float* y) {
    const ui_point_s o = ui__origin(control);
    *x -= o.x;
    *y -= o.y;
}

ui_rect_s ui_frame_get(ui_s*, uic_s* control) {
    const ui_point_s o = ui__origin(control);
    return {o.x, o.y, control->width, control->height};
}

// ---- capture and messages ----------------------------------------------------------------

void uic_mouse_capture(uic_s* control) {
    control->ui->captured = control;
}

bool uic_mouse_captured(uic_s* control) {
    return control->ui->captured == control;
}

void uic_mouse_release(uic_s* control) {
    if (control->ui->captured == control)
        control->ui->captured = nullptr;
}

int uic_msg_send(uic_s* control, int message, void* data) {
    return control->proc(control, message, data);
}

int ui_msg_send(ui_s*, uic_s* control, int message, void* data) {
    return control->proc(control, message, data);
}

// ---- passes ------------------------------------------------------------------------------

// A container places its children before they place theirs, so one pass
// settles the whole tree.
static void ui__layout_pass(uic_s* control, void* context) {
    uic_layout_s rec = {context, 0.0f, 0.0f, control->width, control->height};
    uic_msg_send(control, UIC_MSG_LAYOUT, &rec);
    for (uic_s* c = control->first_child; c; c = c->next)
        ui__layout_pass(c, context);
}

static void ui__draw_pass(uic_s* control, Context* context, float parent_x, float parent_y) {
    gr_context_xpush(context);
    gr_context_xtrans(context, control->x, control->y);
    const float ox = parent_x + control->x, oy = parent_y + control->y;
    ui_s* ui = control->ui;
    uic_draw_s rec = {context, control->width, control->height, ui->mouse_x - ox, ui->mouse_y - oy};
    uic_msg_send(control, UIC_MSG_DRAW, &rec);
    for (uic_s* c = control->first_child; c; c = c->next)
        ui__draw_pass(c, context, ox, oy);
    gr_context_xpop(context);
}

void ui_layout_run(ui_s* ui, void* context, float x, float y, float width, float height) {
    uic_s* root = ui->stack[0];
    root->x = x;
    root->y = y;
    root->width = width;
    root->height = height;
    ui__layout_pass(root, context);
}

void ui_draw(ui_s* ui, void* context, float x, float y, float width, float height) {
    ui_layout_run(ui, context, x, y, width, height);
    ui__draw_pass(ui->stack[0], static_cast<Context*>(context), 0.0f, 0.0f);
}

bool ui__rect_contains(const ui_rect_s& r, float px, float py) {
    return r.x <= px && px < r.x + r.width && r.y <= py && py < r.y + r.height;
}
