// Reaction-diffusion engine. One solver iteration (tiles on the pool, swap and
// stretch) on three references: a real photograph's brightness and edge flow,
// an all-white picture (radius 20 everywhere, the largest ellipses) and a
// mid-grey one (radius 10). Each is timed with the plain ellipse scan (the
// baseline: every cell tests (2r+1)^2 + (4r+1)^2 offsets) and with the ellipse
// runs over row prefix sums; the runs cases report the scan's time from the
// same run as `scan_ms` and the ratio as `speedup`, and the goal as `goal_ms`.
// The photograph's runs case also reports the same iteration with every cell
// summed on one thread (`one_thread_ms`, `threads_speedup`); SW_BENCH_THREADS=1
// runs the whole program on a pool of one thread for the strict comparison.
// Also: larger photographs (cost per pixel), the runs' one-time set-up, the
// runner's preparation, and the copy of the field into the display image.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_main.h"
#include "gr/gr_complex.h"
#include "gr/gr_filter.h"
#include "gr/gr_image.h"
#include "rd/rd_internal.h"
#include "rd/rd_runner.h"
#include "rd/rd_solver.h"

namespace {

using Solver = reaction_diffusion2<float>;

enum Kind { PHOTO, WHITE, GREY };

// The astronaut photograph at side x side.
gr_image_s* photo(int side) {
    gr_image_s* image = gr_image_create_file(SW_TESTDATA_DIR "/astronaut_512x512_rgb.png");
    if (!image)
        return nullptr;
    if (gr_image_get_width(image) == (uint32_t)side)
        return image;
    gr_image_s* scaled = gr_filter_resize(image, (uint32_t)side, (uint32_t)side);
    gr_image_release(image);
    return scaled;
}

gr_image_s* reference(Kind kind, int side) {
    if (kind == PHOTO)
        return photo(side);
    const uint32_t pixel = kind == WHITE ? 0xFFFFFFFFu : 0xFF808080u;
    std::vector<uint32_t> px((size_t)side * side, pixel);
    return gr_image_create_pixels((uint32_t)side, (uint32_t)side, px.data());
}

// A solver referenced on the picture with the runner's 16 flow passes, kept
// for the whole run (the passes take seconds at 1024), and its starting field.
struct Prepared {
    std::unique_ptr<Solver> solver;
    std::vector<float> start;
};

Solver* preparedSolver(Kind kind, int side) {
    static std::map<std::pair<int, int>, Prepared> cache;
    Prepared& p = cache[{kind, side}];
    if (!p.solver) {
        gr_image_s* image = reference(kind, side);
        if (!image)
            return nullptr;
        p.solver = std::make_unique<Solver>(side, side);
        p.solver->set_reference(image);
        gr_image_release(image);
        for (int i = 0; i < 16; i++)
            gr_complex_compute_etf(p.solver->complex, 5);
        p.start.assign(p.solver->cur, p.solver->cur + (size_t)side * side);
    }
    // Every case starts from the reference's brightness.
    std::memcpy(p.solver->cur, p.start.data(), p.start.size() * sizeof(float));
    return p.solver.get();
}

// Seconds per iteration of the scan, by reference and side, for the ratios.
std::map<std::pair<int, int>, double>& scanSeconds() {
    static std::map<std::pair<int, int>, double> seconds;
    return seconds;
}

// Seconds per iteration of the photograph's runs on one thread, by side.
std::map<int, double>& oneThreadSeconds() {
    static std::map<int, double> seconds;
    return seconds;
}

// The goals, in milliseconds per iteration at 1024 x 1024 on two cores.
double goalMs(Kind kind, int side) {
    if (side != 1024)
        return 0.0;
    return kind == PHOTO ? 20.0 : kind == WHITE ? 10.0 : 0.0;
}

void iterationScan(benchmark::State& state, Kind kind) {
    const int side = (int)state.range(0);
    Solver* solver = preparedSolver(kind, side);
    if (!solver) {
        state.SkipWithError("sample photograph missing");
        return;
    }
    solver->release_runs();
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state)
        solver->iterate();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    scanSeconds()[{kind, side}] = s / (double)state.iterations();
    state.SetItemsProcessed(state.iterations() * side * side);
}

void iterationRuns(benchmark::State& state, Kind kind) {
    const int side = (int)state.range(0);
    Solver* solver = preparedSolver(kind, side);
    if (!solver || !solver->prepare_runs()) {
        state.SkipWithError("sample photograph missing or out of memory");
        return;
    }
    const auto t0 = std::chrono::steady_clock::now();
    const std::clock_t c0 = std::clock();
    for (auto _ : state)
        solver->iterate();
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count() /
                     (double)state.iterations();
    // All threads' processor time: on a busy machine the wall clock also
    // counts other programs' turns, this does not.
    state.counters["cpu_ms"] =
        1e3 * (double)(std::clock() - c0) / CLOCKS_PER_SEC / (double)state.iterations();
    state.SetItemsProcessed(state.iterations() * side * side);
    const auto scan = scanSeconds().find({kind, side});
    if (scan != scanSeconds().end()) {
        state.counters["scan_ms"] = scan->second * 1e3;
        state.counters["speedup"] = scan->second / s;
    }
    const auto one = oneThreadSeconds().find(side);
    if (kind == PHOTO && one != oneThreadSeconds().end()) {
        state.counters["one_thread_ms"] = one->second * 1e3;
        state.counters["threads_speedup"] = one->second / s;
    }
    if (goalMs(kind, side) > 0.0)
        state.counters["goal_ms"] = goalMs(kind, side);
    solver->release_runs();
}

void BM_RdIterationScanPhoto(benchmark::State& state) {
    iterationScan(state, PHOTO);
}
void BM_RdIterationRunsPhoto(benchmark::State& state) {
    iterationRuns(state, PHOTO);
}
void BM_RdIterationScanWhite(benchmark::State& state) {
    iterationScan(state, WHITE);
}
void BM_RdIterationRunsWhite(benchmark::State& state) {
    iterationRuns(state, WHITE);
}
void BM_RdIterationScanGrey(benchmark::State& state) {
    iterationScan(state, GREY);
}
void BM_RdIterationRunsGrey(benchmark::State& state) {
    iterationRuns(state, GREY);
}

// The runs with every cell summed on the calling thread: one update over the
// whole grid (the row sums and the stretch still use the pool).
void BM_RdIterationRunsPhotoOneThread(benchmark::State& state) {
    const int side = (int)state.range(0);
    Solver* solver = preparedSolver(PHOTO, side);
    if (!solver || !solver->prepare_runs()) {
        state.SkipWithError("sample photograph missing or out of memory");
        return;
    }
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        solver->begin_iteration();
        solver->update(0, 0, side, side);
        solver->finish_iteration();
    }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
    oneThreadSeconds()[side] = s / (double)state.iterations();
    state.SetItemsProcessed(state.iterations() * side * side);
    solver->release_runs();
}

// Larger photographs: an iteration should cost the same per pixel.
void BM_RdIterationRunsPhotoLarge(benchmark::State& state) {
    iterationRuns(state, PHOTO);
    state.counters["ns_per_pixel"] = benchmark::Counter(
        (double)state.range(0) * (double)state.range(0),
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["cpu_ns_per_pixel"] =
        state.counters["cpu_ms"] * 1e6 / ((double)state.range(0) * (double)state.range(0));
}

// The one-time set-up of the runs, done when the runner publishes the solver.
void BM_RdPrepareRuns(benchmark::State& state, Kind kind) {
    const int side = (int)state.range(0);
    Solver* solver = preparedSolver(kind, side);
    if (!solver) {
        state.SkipWithError("sample photograph missing");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(solver->prepare_runs());
    state.SetItemsProcessed(state.iterations() * side * side);
    solver->release_runs();
}

// rd_create (structure tensor) until ready (16 flow passes, noise, LIC, runs).
void BM_RdPreparation(benchmark::State& state) {
    const int side = (int)state.range(0);
    gr_image_s* image = photo(side);
    if (!image) {
        state.SkipWithError("sample photograph missing");
        return;
    }
    for (auto _ : state) {
        rd_s* rd = rd_create(image);
        rd_set_limit(rd, 0); // no iteration: destroying must not wait for one
        while (!rd_is_ready(rd) && !rd_has_failed(rd))
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        state.PauseTiming();
        rd_destroy(rd);
        state.ResumeTiming();
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    if (side == 1024)
        state.counters["goal_ms"] = 400.0;
    gr_image_release(image);
}

// The copy rd_advance makes of the field into the display image: one call per
// pixel (the baseline) and the whole field at once.
std::vector<float> noiseField(int side) {
    std::vector<float> field((size_t)side * side);
    uint32_t x = 12345u;
    for (float& v : field) {
        x = x * 1664525u + 1013904223u;
        v = (float)(x >> 8) / 8388608.0f - 1.0f;
    }
    return field;
}

void BM_RdFieldGreyPerPixel(benchmark::State& state) {
    const int side = (int)state.range(0);
    const std::vector<float> field = noiseField(side);
    std::vector<uint32_t> pixels(field.size());
    for (auto _ : state) {
        for (size_t i = 0; i < field.size(); i++)
            pixels[i] = rd__field_grey(field[i]);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}

void BM_RdFieldGrey(benchmark::State& state) {
    const int side = (int)state.range(0);
    const std::vector<float> field = noiseField(side);
    std::vector<uint32_t> pixels(field.size());
    for (auto _ : state) {
        rd__field_to_grey(field.data(), pixels.data(), field.size());
        benchmark::DoNotOptimize(pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * side * side);
}

} // namespace

#define RD__ITERATION(name, n)                                                                     \
    BENCHMARK(name)                                                                                \
        ->Arg(512)                                                                                 \
        ->Arg(1024)                                                                                \
        ->Iterations(n)                                                                            \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->UseRealTime()

// Scans and one thread first: the runs cases read their times.
RD__ITERATION(BM_RdIterationScanPhoto, 1);
RD__ITERATION(BM_RdIterationRunsPhotoOneThread, 10);
RD__ITERATION(BM_RdIterationRunsPhoto, 20);
RD__ITERATION(BM_RdIterationScanWhite, 1);
RD__ITERATION(BM_RdIterationRunsWhite, 20);
RD__ITERATION(BM_RdIterationScanGrey, 1);
RD__ITERATION(BM_RdIterationRunsGrey, 20);
BENCHMARK(BM_RdIterationRunsPhotoLarge)
    ->Arg(1024)
    ->Arg(2048)
    ->Arg(4096)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RdPrepareRuns, photo, PHOTO)
    ->Arg(512)
    ->Arg(1024)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK_CAPTURE(BM_RdPrepareRuns, white, WHITE)
    ->Arg(1024)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RdFieldGreyPerPixel)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RdFieldGrey)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RdPreparation)
    ->Arg(512)
    ->Arg(1024)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

SW_BENCH_MAIN()
