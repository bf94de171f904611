#pragma once
// Process-wide state shared by the window and its users.

struct gr_window_s;

// Returns the window last set with app_window_set, or null. Thread: any.
gr_window_s* app_window_get();

// Remembers window as the process-wide window (null: none). Does not take
// ownership. Thread: any.
void app_window_set(gr_window_s* window);

// Checks that the caller runs on the main thread; does nothing on this platform.
void app_assert_main_thread();
