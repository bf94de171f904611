#pragma once
// Programmer-error checks. On in Debug builds and wherever SW_ASSERTS is set
// (the default build and CI); reachable limits of user input never use them.

#include <cstdio>
#include <cstdlib>

#if !defined(NDEBUG) || defined(SW_ASSERTS)
#define SW_ASSERT(cond, msg)                                                              \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: %s: assertion \"%s\" failed: %s\n", __FILE__,    \
                         __LINE__, __func__, #cond, msg);                                 \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
#else
#define SW_ASSERT(cond, msg) ((void)0)
#endif
