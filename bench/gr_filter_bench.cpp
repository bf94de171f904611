// Whole-image filters: the distance field against a brute-force nearest-pixel
// search (the straightforward algorithm), and resampling.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "bench/bench_main.h"
#include "gr/gr_filter.h"

// A side x side page with a disc and a bar of ink.
static gr_image_s* bench_shapes(int side) {
    gr_image_s* image = gr_image_create(side, side);
    uint32_t* px = gr_image_pixels_lock(image);
    for (int y = 0; y < side; y++)
        for (int x = 0; x < side; x++) {
            const int dx = x - side / 3, dy = y - side / 2;
            const bool disc = dx * dx + dy * dy < side * side / 16;
            const bool bar = x > side / 2 && x < side * 7 / 8 && y > side / 5 && y < side / 4;
            px[size_t(y) * side + x] = disc || bar ? 0xFF000000u : 0xFFFFFFFFu;
        }
    gr_image_pixels_unlock(image, true);
    return image;
}

// Baseline: for every pixel, scan all pixels for the nearest one on the other
// side of the threshold.
static void bench_distfield_brute(const uint32_t* px, int w, int h, uint32_t* out) {
    for (int y = 0; y < h; y++)
        for (int x = 0; x < w; x++) {
            const bool inside = ((px[size_t(y) * w + x] >> 8) & 0xFF) <= 127;
            long best = -1;
            for (int v = 0; v < h; v++)
                for (int u = 0; u < w; u++)
                    if ((((px[size_t(v) * w + u] >> 8) & 0xFF) <= 127) != inside) {
                        const long d = long(u - x) * (u - x) + long(v - y) * (v - y);
                        if (best < 0 || d < best)
                            best = d;
                    }
            const double d = best < 0 ? 1e9 : std::sqrt(double(best)) - 0.5;
            const double sd = inside ? -d : d;
            const double field = std::clamp(std::floor(128.0 - sd * 16.0 + 0.5), 0.0, 255.0);
            out[size_t(y) * w + x] = 0xFF000000u | (255u - uint32_t(field)) * 0x010101u;
        }
}

static void BM_DistfieldBruteForce(benchmark::State& state) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_shapes(side);
    std::vector<uint32_t> out(size_t(side) * side);
    for (auto _ : state) {
        bench_distfield_brute(image->pixels, side, side, out.data());
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    gr_image_release(image);
}
BENCHMARK(BM_DistfieldBruteForce)->Arg(64)->Arg(128)->Unit(benchmark::kMillisecond);

static void BM_Distfield(benchmark::State& state) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_shapes(side);
    for (auto _ : state) {
        gr_image_s* out = gr_filter_distfield(image);
        benchmark::DoNotOptimize(out->pixels);
        gr_image_release(out);
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    gr_image_release(image);
}
BENCHMARK(BM_Distfield)->Arg(64)->Arg(128)->Arg(1024)->Unit(benchmark::kMillisecond);

// Scales a side x side picture down to a long side of 1024 or up from 512.
static void BM_Resize(benchmark::State& state) {
    const int side = int(state.range(0));
    gr_image_s* image = bench_shapes(side);
    for (auto _ : state) {
        gr_image_s* out = gr_filter_resize(image, 1024, 0);
        benchmark::DoNotOptimize(out->pixels);
        gr_image_release(out);
    }
    state.SetItemsProcessed(state.iterations() * side * side);
    gr_image_release(image);
}
BENCHMARK(BM_Resize)->Arg(512)->Arg(2048)->Unit(benchmark::kMillisecond);

SW_BENCH_MAIN()
