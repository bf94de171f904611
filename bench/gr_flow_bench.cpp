// Stages of the line drawing on a square crop of a photograph: structure
// tensor, one edge-tangent-flow pass, the flow-based difference of Gaussians,
// and the whole road as spotweave lines runs it. Items are pixels.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>

#include "gr/gr_complex.h"
#include "gr/gr_filter_flow.h"

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

gr_complex* bench_analysis(gr_image_s* image, int passes) {
    gr_complex* cx = gr_complex_create(image);
    gr_complex_compute_sst(cx, 3, nullptr, nullptr);
    for (int i = 0; i < passes; i++)
        gr_complex_compute_etf(cx, 5);
    return cx;
}

void BM_ComplexSST(benchmark::State& state) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_complex* cx = gr_complex_create(image);
    for (auto _ : state)
        gr_complex_compute_sst(cx, 3, nullptr, nullptr);
    state.SetItemsProcessed(state.iterations() * side * side);
    gr_complex_destroy(cx);
    gr_image_release(image);
}

void BM_ComplexETF(benchmark::State& state) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_complex* cx = bench_analysis(image, 0);
    for (auto _ : state)
        gr_complex_compute_etf(cx, 5);
    state.SetItemsProcessed(state.iterations() * side * side);
    gr_complex_destroy(cx);
    gr_image_release(image);
}

void BM_FilterFDoG(benchmark::State& state) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_complex* cx = bench_analysis(image, 3);
    for (auto _ : state) {
        gr_image_s* out = gr_filter_fDoG(image, cx, 5, 8, 8, 2, 0.98f, 0.9999f);
        gr_image_release(out);
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    gr_complex_destroy(cx);
    gr_image_release(image);
}

void BM_FilterLIC(benchmark::State& state) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    gr_complex* cx = bench_analysis(image, 3);
    for (auto _ : state) {
        gr_image_s* out = gr_filter_LIC(image, cx, 7, 1);
        gr_image_release(out);
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    gr_complex_destroy(cx);
    gr_image_release(image);
}

// The whole road: tensor of radius 3, three flow passes of radius 5, fDoG.
void BM_LineDrawing(benchmark::State& state) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_crop(side);
    for (auto _ : state) {
        gr_complex* cx = bench_analysis(image, 3);
        gr_image_s* out = gr_filter_fDoG(image, cx, 5, 8, 8, 2, 0.98f, 0.9999f);
        gr_image_release(out);
        gr_complex_destroy(cx);
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    gr_image_release(image);
}

} // namespace

BENCHMARK(BM_ComplexSST)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ComplexETF)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterFDoG)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FilterLIC)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LineDrawing)->Arg(256)->Arg(1024)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
