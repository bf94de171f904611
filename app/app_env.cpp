#include "app/app_env.h"

#include <charconv>
#include <cstdlib>
#include <cstring>

bool app_env_number(const char* name, uint64_t lo, uint64_t hi, uint64_t* value) {
    const char* text = std::getenv(name);
    if (!text || !*text)
        return true;
    const char* end = text + std::strlen(text);
    uint64_t v = 0;
    auto [stop, ec] = std::from_chars(text, end, v);
    if (ec != std::errc() || stop != end || v < lo || v > hi)
        return false;
    *value = v;
    return true;
}
