#include "app/app_log.h"

#include <cstdarg>
#include <cstdio>
#include <cstdlib>

void app_log(const char* format, ...) {
    enum { SHORT_SIZE = 1024, LONG_SIZE = 16384 };
    char text[SHORT_SIZE];
    va_list args, again;
    va_start(args, format);
    va_copy(again, args);
    int n = std::vsnprintf(text, sizeof text, format, args);
    text[SHORT_SIZE - 1] = '\0';
    if (n >= 0) {
        std::fputs(text, stderr);
    } else {
        // One more try in a larger buffer; whatever it holds then is written.
        char* big = static_cast<char*>(std::malloc(LONG_SIZE));
        if (big) {
            big[0] = '\0';
            std::vsnprintf(big, LONG_SIZE, format, again);
            big[LONG_SIZE - 1] = '\0';
            std::fputs(big, stderr);
            std::free(big);
        }
    }
    va_end(again);
    va_end(args);
}
