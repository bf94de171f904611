#include "ui_recorder.h"

#include <mutex>

#include "ui/ui.h"
#include "ui/ui_theme.h"

namespace {
std::mutex s_lock; // the test thread reads while the main and frame threads record
std::vector<RecordedInput> s_events;
std::function<void()> s_on_down;
int s_draws = 0;
int s_dummy;

void record(RecordedInput e) {
    std::lock_guard<std::mutex> guard(s_lock);
    s_events.push_back(std::move(e));
}
} // namespace

ui_s* recorder_ui() {
    return reinterpret_cast<ui_s*>(&s_dummy);
}

std::vector<RecordedInput> recorder_events(bool with_moves) {
    std::lock_guard<std::mutex> guard(s_lock);
    std::vector<RecordedInput> out;
    for (const RecordedInput& e : s_events)
        if (with_moves || e.what != "move")
            out.push_back(e);
    return out;
}

void recorder_clear() {
    std::lock_guard<std::mutex> guard(s_lock);
    s_events.clear();
    s_draws = 0;
}

void recorder_on_mouse_down(std::function<void()> hook) {
    std::lock_guard<std::mutex> guard(s_lock);
    s_on_down = std::move(hook);
}

int recorder_draws() {
    std::lock_guard<std::mutex> guard(s_lock);
    return s_draws;
}

void ui_draw(ui_s*, void*, float, float, float, float) {
    std::lock_guard<std::mutex> guard(s_lock);
    s_draws++;
}

gr_color_t ui_theme_color_fill() {
    return 0xFF484848;
}

void ui_key_down(ui_s*, unsigned key, unsigned mods) {
    record({"key_down", key, mods, 0, 0, 0, 0});
}
void ui_key_up(ui_s*, unsigned key, unsigned mods) {
    record({"key_up", key, mods, 0, 0, 0, 0});
}
void ui_mouse_move(ui_s*, unsigned mods, float x, float y) {
    record({"move", 0, mods, x, y, 0, 0});
}
void ui_mouse_up(ui_s*, unsigned b, unsigned mods, float x, float y) {
    record({"mouse_up", b, mods, x, y, 0, 0});
}
void ui_mouse_down(ui_s*, unsigned b, unsigned mods, float x, float y) {
    record({"mouse_down", b, mods, x, y, 0, 0});
    std::function<void()> hook;
    {
        std::lock_guard<std::mutex> guard(s_lock);
        hook = s_on_down;
    }
    if (hook)
        hook();
}
void ui_scroll(ui_s*, float x, float y, float dx, float dy) {
    record({"scroll", 0, 0, x, y, dx, dy});
}
void ui_magnify(ui_s*, float x, float y, float amount) {
    record({"magnify", 0, 0, x, y, amount, 0});
}
void ui_rotate(ui_s*, float x, float y, float amount) {
    record({"rotate", 0, 0, x, y, amount, 0});
}
