#pragma once
// The main function every benchmark program shares: it names the build the
// figures come from (type, optimisation, assertions) in the context block
// Google Benchmark prints first, since a figure means little without it.

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>

#include "app/app_assert.h"
#include "task/rd_dispatch.h"

#ifndef SW_BUILD_TYPE
#define SW_BUILD_TYPE "unknown"
#endif

#if defined(SW_ASSERTS) || !defined(NDEBUG)
#define SW__BENCH_ASSERTS "on"
#else
#define SW__BENCH_ASSERTS "off"
#endif

#if defined(__OPTIMIZE__)
#define SW__BENCH_OPTIMISED "optimised"
#else
#define SW__BENCH_OPTIMISED "not optimised"
#endif

// Defines main(): sizes the task pool from SW_BENCH_THREADS when set (for
// comparing thread counts), records the build and the pool in the context,
// then runs the benchmarks.
#define SW_BENCH_MAIN()                                                                            \
    int main(int argc, char** argv) {                                                              \
        if (const char* threads = std::getenv("SW_BENCH_THREADS"))                                 \
            rd_dispatch_set_threads((unsigned)std::strtoul(threads, nullptr, 10));                 \
        benchmark::AddCustomContext("pool threads", std::to_string(rd_dispatch_thread_count()));   \
        benchmark::AddCustomContext("build", SW_BUILD_TYPE ", " SW__BENCH_OPTIMISED);              \
        benchmark::AddCustomContext("asserts", SW__BENCH_ASSERTS);                                 \
        benchmark::AddCustomContext("per-pixel asserts", SW_ASSERT_HOT_ON ? "on" : "off");         \
        benchmark::Initialize(&argc, argv);                                                        \
        if (benchmark::ReportUnrecognizedArguments(argc, argv))                                    \
            return 1;                                                                              \
        benchmark::RunSpecifiedBenchmarks();                                                       \
        benchmark::Shutdown();                                                                     \
        return 0;                                                                                  \
    }
