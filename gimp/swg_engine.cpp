#include "gimp/swg_engine.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "common/psdk_preview.h"
#include "gr/gr_complex.h"
#include "gr/gr_filter.h"
#include "gr/gr_filter_flow.h"
#include "rd/rd_runner.h"

// The binomial kernel's largest radius.
static constexpr int32_t SWG__MAX_RADIUS = 63;

// ---- checks ---------------------------------------------------------------------------

// One integer setting and its range.
struct swg__int_range_s {
    const char* name;
    int32_t value, lo, hi;
};

static bool swg__check_ints(const swg__int_range_s* ranges, int count, char* error, size_t size) {
    for (int i = 0; i < count; i++) {
        const swg__int_range_s& r = ranges[i];
        if (r.value < r.lo || r.value > r.hi) {
            std::snprintf(error, size, "%s must be a whole number from %d to %d, not %d", r.name,
                          r.lo, r.hi, r.value);
            return false;
        }
    }
    return true;
}

static bool swg__check_real(const char* name, float value, float lo, float hi, char* error,
                            size_t size) {
    // Written so that NaN fails too.
    if (value >= lo && value <= hi)
        return true;
    std::snprintf(error, size, "%s must be a number from %g to %g, not %g", name, double(lo),
                  double(hi), double(value));
    return false;
}

bool swg_pattern_check(const swg_pattern_s* s, char* error, size_t size) {
    const swg__int_range_s ranges[] = {
        {"iterations", s->iterations, 1, 100000},
        {"max-side", s->max_side, 16, 8192},
    };
    return swg__check_ints(ranges, 2, error, size);
}

bool swg_lines_check(const swg_lines_s* s, char* error, size_t size) {
    const swg__int_range_s ranges[] = {
        {"sst-radius", s->sst_radius, 0, SWG__MAX_RADIUS},
        {"etf-passes", s->etf_passes, 0, 100},
        {"etf-radius", s->etf_radius, 0, 32},
        {"inner-radius", s->inner_radius, 0, SWG__MAX_RADIUS},
        {"outer-radius", s->outer_radius, 0, SWG__MAX_RADIUS},
        {"flow-steps", s->flow_steps, 0, SWG__MAX_RADIUS},
        {"cross-steps", s->cross_steps, 0, SWG__MAX_RADIUS},
    };
    return swg__check_ints(ranges, int(sizeof ranges / sizeof ranges[0]), error, size) &&
           swg__check_real("tau", s->tau, 0.0f, 2.0f, error, size) &&
           swg__check_real("threshold", s->threshold, 0.0f, 2.0f, error, size);
}

// ---- helpers ----------------------------------------------------------------------------

static void swg__report(swg_progress_fn progress, void* user, const char* stage, float fraction) {
    if (progress)
        progress(user, stage, fraction);
}

// Returns picture scaled down so that its longest side is at most side, or
// another reference to it when it already fits. Owns: caller.
static gr_image_s* swg__fit_within(gr_image_s* picture, uint32_t side) {
    const uint32_t w = gr_image_get_width(picture), h = gr_image_get_height(picture);
    return w > side || h > side ? gr_filter_resize(picture, side, 0) : gr_image_retain(picture);
}

// Returns image at width x height, or another reference to it when it already
// is that size; the image's reference is given up either way. Owns: caller.
static gr_image_s* swg__scale_back(gr_image_s* image, uint32_t width, uint32_t height) {
    if (!image)
        return nullptr;
    gr_image_s* out = gr_image_get_width(image) == width && gr_image_get_height(image) == height
                          ? gr_image_retain(image)
                          : gr_filter_resize(image, width, height);
    gr_image_release(image);
    return out;
}

// ---- pattern ------------------------------------------------------------------------------

gr_image_s* swg_pattern_render(gr_image_s* picture, const swg_pattern_s* settings,
                               swg_progress_fn progress, void* user) {
    const uint32_t w = gr_image_get_width(picture), h = gr_image_get_height(picture);
    gr_image_s* small = swg__fit_within(picture, uint32_t(settings->max_side));
    if (!small)
        return nullptr;
    rd_s* rd = rd_create_logged(small, app_log_sink_s{});
    gr_image_release(small);
    if (!rd)
        return nullptr;
    const uint32_t iterations = uint32_t(settings->iterations);
    rd_set_limit(rd, iterations);
    // The runner works on its own threads; this one only reports how far it is.
    const auto tick = std::chrono::milliseconds(50);
    while (!rd_is_ready(rd) && !rd_has_failed(rd)) {
        swg__report(progress, user, "preparing", 0.5f * rd_get_progress(rd));
        std::this_thread::sleep_for(tick);
    }
    if (rd_has_failed(rd)) {
        rd_destroy(rd);
        return nullptr;
    }
    for (;;) {
        const uint32_t done = rd_get_iterations(rd);
        swg__report(progress, user, "growing the pattern",
                    0.5f + 0.5f * float(done) / float(iterations));
        if (done >= iterations)
            break;
        std::this_thread::sleep_for(tick);
    }
    rd_advance(rd);
    gr_image_s* pattern = rd_get_result(rd);
    rd_destroy(rd);
    return swg__scale_back(pattern, w, h);
}

int swg_pattern_preview(gr_image_s* picture, gr_image_s** result) {
    const uint32_t w = gr_image_get_width(picture), h = gr_image_get_height(picture);
    gr_image_s* small = swg__fit_within(picture, SWG_PREVIEW_MAX_SIDE);
    if (!small)
        return -1;
    gr_image_s* pattern = nullptr;
    // The dialog takes over the picture's reference.
    const int code = psdk_preview_dialog(small, &pattern);
    if (code != 1 || !pattern)
        return code < 0 ? -1 : 0;
    gr_image_s* full = swg__scale_back(pattern, w, h);
    if (!full)
        return -1;
    *result = full;
    return 1;
}

// ---- line drawing ---------------------------------------------------------------------------

// Hands the analysis' own progress on as the first third of the run.
struct swg__stage_s {
    swg_progress_fn progress;
    void* user;
};

static void swg__analysis_progress(void* user, float fraction) {
    const swg__stage_s* stage = static_cast<swg__stage_s*>(user);
    swg__report(stage->progress, stage->user, "analysing", fraction / 3.0f);
}

gr_image_s* swg_lines_draw(gr_image_s* picture, const swg_lines_s* s, swg_progress_fn progress,
                           void* user) {
    gr_complex* cx = gr_complex_create(picture);
    if (!cx)
        return nullptr;
    // The plug-in reports through GIMP; the analysis' timings would only
    // clutter GIMP's terminal.
    gr_complex_set_log(cx, app_log_sink_s{});
    swg__stage_s stage = {progress, user};
    // Only the tangents and the gradient magnitude are kept: the flow passes
    // and the drawing read nothing else.
    bool done = gr_complex_compute_tangents(cx, s->sst_radius, swg__analysis_progress, &stage);
    for (int32_t pass = 0; done && pass < s->etf_passes; pass++) {
        done = gr_complex_compute_etf(cx, s->etf_radius);
        swg__report(progress, user, "following the edges",
                    (1.0f + float(pass + 1) / float(s->etf_passes)) / 3.0f);
    }
    gr_image_s* drawing = nullptr;
    if (done) {
        gr_complex_release_tensor(cx, false);
        swg__report(progress, user, "drawing", 2.0f / 3.0f);
        drawing = gr_filter_fDoG(picture, cx, s->inner_radius, s->outer_radius, s->flow_steps,
                                 s->cross_steps, s->tau, s->threshold);
    }
    gr_complex_destroy(cx);
    if (drawing)
        swg__report(progress, user, "drawing", 1.0f);
    return drawing;
}
