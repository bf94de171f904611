#include "app/app_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// Formats into a short buffer, or a larger one when the first try fails, and
// hands the text to write.
static void app__log_format(void (*write)(void* user, const char* text), void* user,
                            const char* format, va_list args) {
    enum { SHORT_SIZE = 1024, LONG_SIZE = 16384 };
    char text[SHORT_SIZE];
    va_list again;
    va_copy(again, args);
    int n = std::vsnprintf(text, sizeof text, format, args);
    text[SHORT_SIZE - 1] = '\0';
    if (n >= 0) {
        write(user, text);
    } else {
        // One more try in a larger buffer; whatever it holds then is written.
        char* big = static_cast<char*>(std::malloc(LONG_SIZE));
        if (big) {
            big[0] = '\0';
            std::vsnprintf(big, LONG_SIZE, format, again);
            big[LONG_SIZE - 1] = '\0';
            write(user, big);
            std::free(big);
        }
    }
    va_end(again);
}

static void app__log_stderr(void*, const char* text) {
    std::fputs(text, stderr);
}

void app_log(const char* format, ...) {
    va_list args;
    va_start(args, format);
    app__log_format(app__log_stderr, nullptr, format, args);
    va_end(args);
}

app_log_sink_s app_log_stderr(void) {
    return {app__log_stderr, nullptr};
}

void app_log_to(app_log_sink_s sink, const char* format, ...) {
    if (!sink.fn)
        return;
    va_list args;
    va_start(args, format);
    app__log_format(sink.fn, sink.user, format, args);
    va_end(args);
}

// Returns the length of the well-formed UTF-8 sequence at p that encodes a
// printable character (not a C1 control, not a surrogate, not overlong), or 0.
static size_t app__utf8_printable(const unsigned char* p) {
    const unsigned c = p[0];
    size_t n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 ? 2 : 0;
    if (n == 0 || c > 0xF4)
        return 0;
    for (size_t i = 1; i < n; i++)
        if ((p[i] & 0xC0) != 0x80)
            return 0;
    if (n == 2 && c == 0xC2 && p[1] < 0xA0) // U+0080..U+009F
        return 0;
    if (n == 3 && ((c == 0xE0 && p[1] < 0xA0) || (c == 0xED && p[1] >= 0xA0)))
        return 0;
    if (n == 4 && ((c == 0xF0 && p[1] < 0x90) || (c == 0xF4 && p[1] >= 0x90)))
        return 0;
    return n;
}

size_t app_log_escape(const char* text, char* out, size_t out_size) {
    if (!out || out_size == 0)
        return 0;
    size_t used = 0;
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text ? text : "");
    while (*p) {
        size_t n = *p >= 0x20 && *p < 0x7F ? 1 : app__utf8_printable(p);
        char escaped[5];
        const char* piece = reinterpret_cast<const char*>(p);
        if (n == 0) {
            std::snprintf(escaped, sizeof escaped, "\\x%02X", unsigned(*p));
            piece = escaped;
        }
        const size_t len = n ? n : 4;
        if (used + len >= out_size)
            break;
        std::memcpy(out + used, piece, len);
        used += len;
        p += n ? n : 1;
    }
    out[used] = '\0';
    return used;
}
