// Input routing: hot keys, the capture holder or the control under the
// pointer, hover tracking. Nothing is touched after a procedure returns, so a
// handler may destroy the UI it was called from.

#include "ui/ui_input.h"

#include <cstdlib>

#include "ui/ui_internal.h"

uic_s* ui_hit_test(ui_s* ui, float x, float y) {
    uic_s* candidate = ui__root(ui);
    float ox = 0.0f, oy = 0.0f;
    while (candidate->first_child) {
        ox -= candidate->x;
        oy -= candidate->y;
        const float px = x + ox, py = y + oy;
        uic_s* winner = nullptr;
        for (uic_s* c = candidate->first_child; c; c = c->next)
            if (ui__rect_contains({c->x, c->y, c->width, c->height}, px, py))
                winner = c; // later siblings lie on top
        if (!winner)
            break;
        candidate = winner;
    }
    return candidate;
}

// The capture holder, else the control under (x, y).
static uic_s* ui__target(ui_s* ui, float x, float y) {
    return ui->captured ? ui->captured : ui_hit_test(ui, x, y);
}

// ---- keys --------------------------------------------------------------------------------

ui_hotkey_s* ui_hotkey_register(ui_s* ui, unsigned key, unsigned modifiers, ui_hotkey_cb callback,
                                void* user) {
    auto* h = static_cast<ui_hotkey_s*>(std::calloc(1, sizeof(ui_hotkey_s)));
    h->callback = callback;
    h->user = user;
    h->key = key;
    h->modifiers = modifiers;
    h->next = ui->hotkeys;
    ui->hotkeys = h;
    return h;
}

void ui_key_down(ui_s* ui, unsigned key, unsigned modifiers) {
    for (ui_hotkey_s* h = ui->hotkeys; h; h = h->next) {
        if (h->key == key && h->modifiers == modifiers) {
            h->callback(h->user, key, modifiers);
            return;
        }
    }
    uic_key_s rec = {key, modifiers};
    uic_msg_send(ui__target(ui, ui->mouse_x, ui->mouse_y), UIC_MSG_KEY_DOWN, &rec);
}

void ui_key_up(ui_s* ui, unsigned key, unsigned modifiers) {
    uic_key_s rec = {key, modifiers};
    uic_msg_send(ui__target(ui, ui->mouse_x, ui->mouse_y), UIC_MSG_KEY_UP, &rec);
}

// ---- mouse -------------------------------------------------------------------------------

static void ui__mouse_button(ui_s* ui, int message, unsigned button, unsigned modifiers, float x,
                             float y) {
    uic_s* target = ui__target(ui, x, y);
    ui->mouse_x = x;
    ui->mouse_y = y;
    const ui_point_s o = ui__origin(target);
    uic_mouse_s rec = {x - o.x, y - o.y, button, modifiers};
    uic_msg_send(target, message, &rec);
}

void ui_mouse_down(ui_s* ui, unsigned button, unsigned modifiers, float x, float y) {
    ui__mouse_button(ui, UIC_MSG_MOUSE_DOWN, button, modifiers, x, y);
}

void ui_mouse_up(ui_s* ui, unsigned button, unsigned modifiers, float x, float y) {
    ui__mouse_button(ui, UIC_MSG_MOUSE_UP, button, modifiers, x, y);
}

void ui_mouse_move(ui_s* ui, unsigned modifiers, float x, float y) {
    uic_s* target = ui->captured;
    if (!target) {
        target = ui_hit_test(ui, x, y);
        if (target != ui->hover) {
            if (ui->hover)
                uic_msg_send(ui->hover, UIC_MSG_MOUSE_LEAVE, nullptr);
            ui->hover = target;
            uic_msg_send(target, UIC_MSG_MOUSE_ENTER, nullptr);
        }
    }
    ui->mouse_x = x;
    ui->mouse_y = y;
    const ui_point_s o = ui__origin(target);
    uic_mouse_s rec = {x - o.x, y - o.y, 0, modifiers};
    uic_msg_send(target, UIC_MSG_MOUSE_MOVE, &rec);
}

// ---- scroll, gestures, stylus ------------------------------------------------------------

// Chosen at the last mouse position, but the record carries the position
// the event came with.
void ui_scroll(ui_s* ui, float x, float y, float dx, float dy) {
    uic_s* target = ui__target(ui, ui->mouse_x, ui->mouse_y);
    const ui_point_s o = ui__origin(target);
    uic_scroll_s rec = {x - o.x, y - o.y, dx, dy};
    uic_msg_send(target, UIC_MSG_SCROLL, &rec);
}

static void ui__gesture(ui_s* ui, int message, float x, float y, float amount) {
    uic_s* target = ui__target(ui, ui->mouse_x, ui->mouse_y);
    const ui_point_s o = ui__origin(target);
    uic_gesture_s rec = {x - o.x, y - o.y, amount};
    uic_msg_send(target, message, &rec);
}

void ui_magnify(ui_s* ui, float x, float y, float amount) {
    ui__gesture(ui, UIC_MSG_MAGNIFY, x, y, amount);
}

void ui_rotate(ui_s* ui, float x, float y, float amount) {
    ui__gesture(ui, UIC_MSG_ROTATE, x, y, amount);
}

int ui_stylus_move(ui_s* ui, float x, float y, float a, float b, float c) {
    uic_s* target = ui__target(ui, x, y);
    const ui_point_s o = ui__origin(target);
    uic_stylus_s rec = {x - o.x, y - o.y, a, b, c};
    return uic_msg_send(target, UIC_MSG_STYLUS_MOVE, &rec);
}
