#pragma once
// A probe control: answers measure with a fixed size (or not), logs and counts its
// messages, keeps the last local position, and can take the capture on press.

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "ui/ui.h"
#include "ui/ui_layout.h"
#include "ui/ui_model.h"

struct Probe {
    const char* name = "?";
    float w = -1, h = -1;  // measure answer
    bool answers = true;   // false: leaves the offered size
    bool captures = false; // takes the capture on press, gives it back on release
    std::vector<std::string>* log = nullptr;
    float last_x = 0, last_y = 0; // local position of the last positioned message
    int messages[20] = {};        // count per message number (1000+ not counted)
};

inline const char* probe_msg_name(int m) {
    static const char* names[] = {"create", "destroy", "setup",  "keydown", "keyup", "magnify",
                                  "rotate", "scroll",  "enter",  "leave",   "down",  "move",
                                  "up",     "stylus",  "layout", "measure", "draw"};
    return m >= 0 && m <= 16 ? names[m] : "other";
}

inline int probe_proc(uic_s* control, int message, void* data) {
    if (message == UIC_MSG_CREATE)
        uic_cookie_set(control, data);
    auto* p = static_cast<Probe*>(uic_cookie_get(control));
    if (message >= 0 && message < 20)
        p->messages[message]++;
    if (p->log && message != UIC_MSG_LAYOUT && message != UIC_MSG_MEASURE &&
        message != UIC_MSG_DRAW)
        p->log->push_back(std::string(p->name) + ":" + probe_msg_name(message));
    if (message == UIC_MSG_MEASURE) {
        if (!p->answers)
            return 0;
        auto* m = static_cast<uic_measure_s*>(data);
        m->width = p->w, m->height = p->h;
    }
    if (message == UIC_MSG_MOUSE_DOWN || message == UIC_MSG_MOUSE_MOVE ||
        message == UIC_MSG_MOUSE_UP) {
        const auto* e = static_cast<const uic_mouse_s*>(data);
        p->last_x = e->x, p->last_y = e->y;
        if (p->captures && message == UIC_MSG_MOUSE_DOWN)
            uic_mouse_capture(control);
        if (p->captures && message == UIC_MSG_MOUSE_UP)
            uic_mouse_release(control);
    }
    if (message == UIC_MSG_SCROLL) {
        const auto* e = static_cast<const uic_scroll_s*>(data);
        p->last_x = e->x, p->last_y = e->y;
    }
    return 1;
}

inline uic_s* add_probe(ui_s* ui, Probe* p) {
    return ui_add_custom(ui, probe_proc, p);
}

// A model and a UI without a renderer; keep() holds probes that outlive the UI.
class UiTest : public ::testing::Test {
protected:
    Probe* keep(const Probe& p) { return &probes.emplace_back(p); }

    void SetUp() override {
        model = ui_model_create();
        ui = ui_create(model);
    }
    void TearDown() override {
        ui_destroy(ui);
        ui_model_destroy(model);
    }
    void layout(float w = 640, float h = 480) { ui_layout_run(ui, nullptr, 0, 0, w, h); }
    // Starts over with an empty UI on the same model.
    void reset() {
        ui_destroy(ui);
        ui = ui_create(model);
    }

    std::deque<Probe> probes;
    ui_model_s* model = nullptr;
    ui_s* ui = nullptr;
};

inline void expect_rect(const ui_rect_s& r, float x, float y, float w, float h) {
    EXPECT_FLOAT_EQ(r.x, x);
    EXPECT_FLOAT_EQ(r.y, y);
    EXPECT_FLOAT_EQ(r.width, w);
    EXPECT_FLOAT_EQ(r.height, h);
}
