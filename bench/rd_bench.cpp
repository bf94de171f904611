// Reaction-diffusion engine: one solver iteration on a real photograph's
// brightness and edge flow, tiled over the pool and (the baseline) on one
// thread, and the runner's preparation from rd_create until it is ready.
// Each case runs only a couple of times: an iteration of the plain ellipse
// scan costs seconds at 1024 x 1024.

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "gr/gr_complex.h"
#include "gr/gr_filter.h"
#include "gr/gr_image.h"
#include "rd/rd_runner.h"
#include "rd/rd_solver.h"

namespace {

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

// A solver referenced on the photograph, with the runner's 16 flow passes.
reaction_diffusion2<float>* preparedSolver(gr_image_s* image) {
    const int w = (int)gr_image_get_width(image), h = (int)gr_image_get_height(image);
    auto* solver = new reaction_diffusion2<float>(w, h);
    solver->set_reference(image);
    for (int i = 0; i < 16; i++)
        gr_complex_compute_etf(solver->complex, 5);
    return solver;
}

void BM_RdIteration(benchmark::State& state) {
    const int side = (int)state.range(0);
    gr_image_s* image = photo(side);
    if (!image) {
        state.SkipWithError("sample photograph missing");
        return;
    }
    auto* solver = preparedSolver(image);
    for (auto _ : state)
        solver->iterate();
    state.SetItemsProcessed(state.iterations() * side * side);
    delete solver;
    gr_image_release(image);
}

// The same iteration as one update over the whole grid on the calling thread.
void BM_RdIterationOneThread(benchmark::State& state) {
    const int side = (int)state.range(0);
    gr_image_s* image = photo(side);
    if (!image) {
        state.SkipWithError("sample photograph missing");
        return;
    }
    auto* solver = preparedSolver(image);
    for (auto _ : state) {
        solver->update(0, 0, side, side);
        solver->finish_iteration();
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    delete solver;
    gr_image_release(image);
}

// rd_create (structure tensor) until ready (16 flow passes, noise, LIC).
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
    gr_image_release(image);
}

} // namespace

BENCHMARK(BM_RdIteration)
    ->Arg(512)
    ->Arg(1024)
    ->Iterations(2)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RdIterationOneThread)
    ->Arg(512)
    ->Arg(1024)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_RdPreparation)
    ->Arg(512)
    ->Arg(1024)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
