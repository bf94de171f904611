// Structure analysis and the flow line filters on a square crop of a
// photograph, each fast case (row bands on the dispatch pool, single-precision
// flow weights, interleaved planes) beside its baseline in the same binary: the
// straightforward kernels on one thread, with a double-precision tanh per flow
// sample. Items are pixels. The two whole roads carry their goal as a label:
//   preparation (tensor r7, 16 flow passes r5, LIC 7/1 of grey noise): <= 0.4 s
//   line drawing (tensor r3, 3 flow passes r5, fDoG 5/8/8/2):           <= 0.15 s
// at 1024 x 1024 on two cores. A baseline iteration at 1024 takes seconds
// (about half a minute for the preparation), so run them filtered when in a
// hurry: --benchmark_filter='/256'.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "bench/bench_main.h"
#include "gr/gr_complex.h"
#include "gr/gr_filter_flow.h"
#include "gr/gr_internal.h"

namespace {

// Returns a side x side crop from the middle of the mountains photograph.
gr_image_s* bench_crop(int side) {
    gr_image_s* photo = gr_image_create_file(SW_TESTDATA_DIR "/mountains_2048x1536.jpg");
    if (!photo) {
        std::fprintf(stderr, "cannot read the sample photograph\n");
        std::exit(1);
    }
    const uint32_t x = (gr_image_get_width(photo) - uint32_t(side)) / 2;
    const uint32_t y = (gr_image_get_height(photo) - uint32_t(side)) / 2;
    gr_image_s* crop = gr_image_get_rect(photo, x, y, uint32_t(side), uint32_t(side));
    gr_image_release(photo);
    return crop;
}

// Grey noise like the runner's, from a fixed seed.
gr_image_s* bench_noise(int side) {
    gr_image_s* noise = gr_image_create(side, side);
    uint32_t* px = gr_image_pixels_lock(noise);
    uint32_t state = 12345u;
    for (size_t i = 0; i < size_t(side) * size_t(side); i++) {
        state = state * 1664525u + 1013904223u;
        const uint32_t v = state >> 24;
        px[i] = 0xFF000000u | v << 16 | v << 8 | v;
    }
    gr_image_pixels_unlock(noise, true);
    return noise;
}

// The two roads of the library: the fast one the programs run and the
// single-thread straightforward one.
struct Road {
    gr__path_t path;
    int32_t bands;
};
constexpr Road FAST = {GR__PATH_FAST, GR__BANDS_AUTO};
constexpr Road BASELINE = {GR__PATH_REFERENCE, 1};

// The fast road keeps the tangents and the magnitude only, as the programs do;
// the baseline computes the whole tensor.
gr_complex* bench_analysis(gr_image_s* image, int radius, int passes, Road road) {
    gr_complex* cx = gr_complex_create(image);
    gr__complex_sst(cx, radius, nullptr, nullptr, road.bands, road.path == GR__PATH_REFERENCE);
    for (int i = 0; i < passes; i++)
        gr__complex_etf(cx, 5, road.path, road.bands);
    return cx;
}

void finish(benchmark::State& state, int side, const char* goal = nullptr) {
    state.SetItemsProcessed(state.iterations() * side * side);
    if (goal)
        state.SetLabel(goal);
}

// ---- stages ------------------------------------------------------------------------------

void tensor(benchmark::State& state, Road road) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_complex* cx = gr_complex_create(image);
    for (auto _ : state)
        gr__complex_sst(cx, 7, nullptr, nullptr, road.bands);
    finish(state, side);
    gr_complex_destroy(cx);
    gr_image_release(image);
}

// One flow pass of radius 5 (the passes run on the tensor's field each time;
// a pass costs the same on any field).
void flow_pass(benchmark::State& state, Road road) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_complex* cx = bench_analysis(image, 7, 0, road);
    for (auto _ : state)
        gr__complex_etf(cx, 5, road.path, road.bands);
    finish(state, side);
    gr_complex_destroy(cx);
    gr_image_release(image);
}

void fdog(benchmark::State& state, Road road) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_complex* cx = bench_analysis(image, 3, 3, FAST);
    for (auto _ : state) {
        gr_image_s* out =
            gr__filter_fDoG(image, cx, 5, 8, 8, 2, 0.98f, 0.9999f, road.path, road.bands);
        gr_image_release(out);
    }
    finish(state, side);
    gr_complex_destroy(cx);
    gr_image_release(image);
}

void lic(benchmark::State& state, Road road) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_image_s* noise = bench_noise(side);
    gr_complex* cx = bench_analysis(image, 7, 3, FAST);
    for (auto _ : state) {
        gr_image_s* out = gr__filter_LIC(noise, cx, 7, 1, road.path, road.bands);
        gr_image_release(out);
    }
    finish(state, side);
    gr_complex_destroy(cx);
    gr_image_release(noise);
    gr_image_release(image);
}

// ---- whole roads ----------------------------------------------------------------------------

// What the runner's preparation computes before the pattern can start.
void preparation(benchmark::State& state, Road road) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_image_s* noise = bench_noise(side);
    for (auto _ : state) {
        gr_complex* cx = bench_analysis(image, 7, 16, road);
        gr_complex_release_tensor(cx, false);
        gr_image_s* flow = gr__filter_LIC(noise, cx, 7, 1, road.path, road.bands);
        gr_image_release(flow);
        gr_complex_destroy(cx);
    }
    finish(state, side,
           road.bands == 1 ? nullptr
                           : "goal <= 0.4 s (the runner's whole preparation) at 1024 on 2 cores");
    gr_image_release(noise);
    gr_image_release(image);
}

// What spotweave lines and the plug-in's fallback compute.
void line_drawing(benchmark::State& state, Road road) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    for (auto _ : state) {
        gr_complex* cx = bench_analysis(image, 3, 3, road);
        gr_complex_release_tensor(cx, false);
        gr_image_s* out =
            gr__filter_fDoG(image, cx, 5, 8, 8, 2, 0.98f, 0.9999f, road.path, road.bands);
        gr_image_release(out);
        gr_complex_destroy(cx);
    }
    finish(state, side, road.bands == 1 ? nullptr : "goal <= 0.15 s at 1024 on 2 cores");
    gr_image_release(image);
}

void BM_ComplexSST(benchmark::State& state) {
    tensor(state, FAST);
}
void BM_ComplexSSTBaseline(benchmark::State& state) {
    tensor(state, BASELINE);
}

void BM_FlowPass(benchmark::State& state) {
    flow_pass(state, FAST);
}
// The fast kernel without the bands: what vectorising alone gives.
void BM_FlowPassOneThread(benchmark::State& state) {
    flow_pass(state, {GR__PATH_FAST, 1});
}
// What a processor without AVX2 runs.
void BM_FlowPassPortable(benchmark::State& state) {
    flow_pass(state, {GR__PATH_PORTABLE, GR__BANDS_AUTO});
}
void BM_FlowPassBaseline(benchmark::State& state) {
    flow_pass(state, BASELINE);
}

void BM_FilterFDoG(benchmark::State& state) {
    fdog(state, FAST);
}
void BM_FilterFDoGBaseline(benchmark::State& state) {
    fdog(state, BASELINE);
}

void BM_FilterLIC(benchmark::State& state) {
    lic(state, FAST);
}
void BM_FilterLICBaseline(benchmark::State& state) {
    lic(state, BASELINE);
}

void BM_Preparation(benchmark::State& state) {
    preparation(state, FAST);
}
void BM_PreparationBaseline(benchmark::State& state) {
    preparation(state, BASELINE);
}

void BM_LineDrawing(benchmark::State& state) {
    line_drawing(state, FAST);
}
void BM_LineDrawingBaseline(benchmark::State& state) {
    line_drawing(state, BASELINE);
}

} // namespace

#define GR_FLOW_BENCH(name)                                                                        \
    BENCHMARK(name)                                                                                \
        ->Arg(256)                                                                                 \
        ->Arg(1024)                                                                                \
        ->Unit(benchmark::kMillisecond)                                                            \
        ->MeasureProcessCPUTime()                                                                  \
        ->UseRealTime()

GR_FLOW_BENCH(BM_ComplexSST);
GR_FLOW_BENCH(BM_ComplexSSTBaseline);
GR_FLOW_BENCH(BM_FlowPass);
GR_FLOW_BENCH(BM_FlowPassOneThread);
GR_FLOW_BENCH(BM_FlowPassPortable);
GR_FLOW_BENCH(BM_FlowPassBaseline);
GR_FLOW_BENCH(BM_FilterFDoG);
GR_FLOW_BENCH(BM_FilterFDoGBaseline);
GR_FLOW_BENCH(BM_FilterLIC);
GR_FLOW_BENCH(BM_FilterLICBaseline);
GR_FLOW_BENCH(BM_Preparation);
GR_FLOW_BENCH(BM_PreparationBaseline);
GR_FLOW_BENCH(BM_LineDrawing);
GR_FLOW_BENCH(BM_LineDrawingBaseline);

SW_BENCH_MAIN()
