#pragma once
// Diagnostic log on standard error.

// Writes a printf-style message to standard error as it is (no line end added).
// Messages are cut at 1023 bytes. Thread: any.
void app_log(const char* format, ...) __attribute__((format(printf, 1, 2)));
