#pragma once
// Progress of long work, for whoever watches the system log.

// Marks the start of a long operation; does nothing on this platform.
void app_progress_start();

// Writes the line "progress: <fraction x 100>%" to the system log. Thread: any.
void app_progress_step(float fraction);

// Marks the end of a long operation; does nothing on this platform.
void app_progress_stop();
