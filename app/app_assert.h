#pragma once
// Programmer-error checks. SW_ASSERT is on in Debug builds and wherever
// SW_ASSERTS is set (every build of ours unless SPOTWEAVE_ASSERTS is off);
// it belongs at entry points, where a check costs nothing next to the work.
// SW_ASSERT_HOT is for checks inside per-pixel or per-sample code: on in
// Debug and in the sanitizer builds (SW_HOT_ASSERTS), off in the optimised
// build that programs and users run. Reachable limits of user input never
// use either.

#include <cstdio>
#include <cstdlib>

// Prints where and what failed, then aborts.
#define SW__ASSERT_FAIL(cond, msg)                                                                 \
    do {                                                                                           \
        std::fprintf(stderr, "%s:%d: %s: assertion \"%s\" failed: %s\n", __FILE__, __LINE__,       \
                     __func__, #cond, msg);                                                        \
        std::abort();                                                                              \
    } while (0)

#if !defined(NDEBUG) || defined(SW_ASSERTS)
#define SW_ASSERT(cond, msg)                                                                       \
    do {                                                                                           \
        if (!(cond))                                                                               \
            SW__ASSERT_FAIL(cond, msg);                                                            \
    } while (0)
#else
#define SW_ASSERT(cond, msg) ((void)0)
#endif

#if !defined(NDEBUG) || defined(SW_HOT_ASSERTS)
#define SW_ASSERT_HOT(cond, msg) SW_ASSERT(cond, msg)
#define SW_ASSERT_HOT_ON 1
#else
#define SW_ASSERT_HOT(cond, msg) ((void)0)
#define SW_ASSERT_HOT_ON 0
#endif
