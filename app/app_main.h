#pragma once
// The main queue: work posted from any thread (or from code that must not run
// it where it stands, such as inside a callback holding a lock) and run on the
// main thread by whichever loop drains it (the window's modal loop).

// Queues fn(user) for the main thread; owner (may be null) tags the task so
// app_main_forget can drop it. Wakes the draining loop. Thread: any.
void app_main_post(void (*fn)(void* user), void* user, const void* owner);

// Runs the queued tasks in order, including those they post. Thread: main.
void app_main_drain();

// Drops the queued tasks tagged with owner. Thread: any.
void app_main_forget(const void* owner);

// Sets the function that wakes the draining loop when a task is posted (null:
// none). Thread: main, while nothing posts.
void app_main_set_waker(void (*wake)());
