#pragma once
// Diagnostic log on standard error, sinks that let a caller send a component's
// diagnostics elsewhere or drop them, and escaping of text for the terminal.

#include <cstddef>

// Writes a printf-style message to standard error as it is (no line end added).
// Messages are cut at 1023 bytes. Thread: any.
void app_log(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Where a component's diagnostic text goes: fn(user, text), text being one or
// more whole lines. A sink whose fn is null drops the text.
struct app_log_sink_s {
    void (*fn)(void* user, const char* text);
    void* user;
};

// Returns the sink that writes to standard error, as app_log does.
app_log_sink_s app_log_stderr(void);

// Formats like app_log and hands the text to sink; nothing happens for a sink
// without fn. Thread: any, as far as the sink allows.
void app_log_to(app_log_sink_s sink, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Copies text into out (out_size bytes, cut there, always terminated) with
// every byte a terminal could take as a command written as \xHH: control
// characters (C0, DEL and C1) and bytes that are not valid UTF-8. Printable
// ASCII and well-formed UTF-8 pass unchanged. Returns the length written.
size_t app_log_escape(const char* text, char* out, size_t out_size);
