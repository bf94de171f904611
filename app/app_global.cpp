#include "app/app_global.h"

#include <atomic>

static std::atomic<gr_window_s*> current_window{nullptr};

gr_window_s* app_window_get() {
    return current_window.load(std::memory_order_acquire);
}

void app_window_set(gr_window_s* window) {
    current_window.store(window, std::memory_order_release);
}

void app_assert_main_thread() {}
