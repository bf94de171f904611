#pragma once
// Stands in for the toolkit's entry points in the window's tests, recording every call.

#include <functional>
#include <string>
#include <vector>

struct ui_s;

struct RecordedInput {
    std::string what; // "key_down", "key_up", "mouse_down", "mouse_up", "move", "scroll",
                      // "magnify", "rotate"
    unsigned code;    // key or button
    unsigned mods;
    float x, y, a, b; // position; scroll deltas or gesture amount in a
};

// The UI pointer to map into windows under test.
ui_s* recorder_ui();

// Returns a copy of what has been recorded so far, moves left out.
std::vector<RecordedInput> recorder_events(bool with_moves = false);

// Forgets everything recorded.
void recorder_clear();

// Called (under the window's lock) after each recorded mouse press.
void recorder_on_mouse_down(std::function<void()> hook);

// Number of ui_draw calls so far.
int recorder_draws();
