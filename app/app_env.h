#pragma once
// Settings read from the environment.

#include <cstdint>

// Reads the environment variable name as a whole decimal number from lo to hi
// into *value. Returns true when it holds one, or when it is unset or empty
// (*value is then left as it was); false when it holds anything else.
bool app_env_number(const char* name, uint64_t lo, uint64_t hi, uint64_t* value);
