#include "app/app_main.h"

#include <atomic>
#include <deque>
#include <mutex>

namespace {

struct Task {
    void (*fn)(void*);
    void* user;
    const void* owner;
};

// Posts come from any thread; the main thread drains.
std::mutex s_lock;
std::deque<Task> s_tasks;
std::atomic<void (*)()> s_waker{nullptr};

} // namespace

void app_main_post(void (*fn)(void* user), void* user, const void* owner) {
    {
        std::lock_guard<std::mutex> guard(s_lock);
        s_tasks.push_back({fn, user, owner});
    }
    if (void (*wake)() = s_waker.load())
        wake();
}

void app_main_drain() {
    for (;;) {
        Task task;
        {
            std::lock_guard<std::mutex> guard(s_lock);
            if (s_tasks.empty())
                return;
            task = s_tasks.front();
            s_tasks.pop_front();
        }
        task.fn(task.user);
    }
}

void app_main_forget(const void* owner) {
    std::lock_guard<std::mutex> guard(s_lock);
    std::erase_if(s_tasks, [owner](const Task& t) { return t.owner == owner; });
}

void app_main_set_waker(void (*wake)()) {
    s_waker.store(wake);
}
