// spotweave lines: the coherent line drawing of a picture, file to file.
// Structure analysis, edge-tangent-flow passes, then the flow-based
// difference of Gaussians, with the plug-in's values as defaults.

#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>

#include "cli/cli.h"
#include "gr/gr_complex.h"
#include "gr/gr_filter_flow.h"
#include "gr/gr_internal.h"

static const cli_option_s cli__lines_options[] = {
    {"output", 'o', true, "output file (.png, or .jpg/.jpeg for JPEG)"},
    {"sst-radius", 0, true, "structure tensor smoothing radius, 0..63 (default 3)"},
    {"etf-passes", 0, true, "edge-tangent-flow passes, 0..100 (default 3)"},
    {"etf-radius", 0, true, "edge-tangent-flow window radius, 0..32 (default 5)"},
    {"inner-radius", 0, true, "inner (line) blur radius, 0..63 (default 5)"},
    {"outer-radius", 0, true, "outer (surround) blur radius, 0..63 (default 8)"},
    {"flow-steps", 0, true, "unit steps each way along the flow, 0..63 (default 8)"},
    {"cross-steps", 0, true, "unit steps each way across the flow, 0..63 (default 2)"},
    {"tau", 0, true, "weight of the outer blur, 0..2 (default 0.98)"},
    {"threshold", 0, true, "line threshold on 1 + tanh(response), 0..2 (default 0.9999)"},
    {"quiet", 'q', false, "no progress bar, timings or summary; only errors"},
    {"help", 'h', false, "show this help"},
};
static const int cli__lines_count = int(sizeof cli__lines_options / sizeof cli__lines_options[0]);

// ---- progress bar -----------------------------------------------------------------------

struct cli__bar_s {
    bool on;
    const char* label;
};

static void cli__bar_progress(void* user, float fraction) {
    const cli__bar_s* bar = static_cast<cli__bar_s*>(user);
    cli_progress(bar->on, bar->label, fraction, nullptr);
}

// ---- options ------------------------------------------------------------------------------

struct cli__lines_params_s {
    long sst_radius, etf_passes, etf_radius;
    long inner_radius, outer_radius, flow_steps, cross_steps;
    double tau, threshold;
};

static bool cli__lines_int(const cli_args_s& args, const char* name, const char* fallback, long lo,
                           long hi, long* out) {
    if (cli_parse_int(args.get(name, fallback), lo, hi, out))
        return true;
    cli_fail("lines: --%s must be a whole number from %ld to %ld, not '%s'", name, lo, hi,
             args.get(name, ""));
    return false;
}

static bool cli__lines_real(const cli_args_s& args, const char* name, const char* fallback,
                            double lo, double hi, double* out) {
    if (cli_parse_float(args.get(name, fallback), out) && *out >= lo && *out <= hi)
        return true;
    cli_fail("lines: --%s must be a number from %g to %g, not '%s'", name, lo, hi,
             args.get(name, ""));
    return false;
}

static bool cli__lines_read(const cli_args_s& args, cli__lines_params_s* p) {
    const long r = GR__GAUSSIAN_MAX_RADIUS;
    return cli__lines_int(args, "sst-radius", "3", 0, r, &p->sst_radius) &&
           cli__lines_int(args, "etf-passes", "3", 0, 100, &p->etf_passes) &&
           cli__lines_int(args, "etf-radius", "5", 0, 32, &p->etf_radius) &&
           cli__lines_int(args, "inner-radius", "5", 0, r, &p->inner_radius) &&
           cli__lines_int(args, "outer-radius", "8", 0, r, &p->outer_radius) &&
           cli__lines_int(args, "flow-steps", "8", 0, r, &p->flow_steps) &&
           cli__lines_int(args, "cross-steps", "2", 0, r, &p->cross_steps) &&
           cli__lines_real(args, "tau", "0.98", 0.0, 2.0, &p->tau) &&
           cli__lines_real(args, "threshold", "0.9999", 0.0, 2.0, &p->threshold);
}

// ---- command --------------------------------------------------------------------------------

static const cli_command_s cli__lines_command = {
    "lines", "spotweave lines IN -o OUT [options]",
    "Draws a picture as coherent black lines on white: the structure tensor\n"
    "of its brightness, edge-tangent-flow passes that make the edge\n"
    "directions coherent, then a difference of two blurs averaged across\n"
    "and along that flow and thresholded. The defaults are the plug-in's.",
    cli__lines_options, cli__lines_count};

int cli_lines(int argc, char** argv) {
    cli_args_s args;
    int status = 0;
    if (!cli_start(&cli__lines_command, argc, argv, &args, &status))
        return status;
    cli__lines_params_s p;
    if (!cli__lines_read(args, &p))
        return 1;
    const char* in = args.positional[0].c_str();
    const char* out = args.get("output", nullptr);
    if (!cli_check_output(in, out))
        return 1;

    gr_image_s* image = cli_load_image(in);
    if (!image)
        return 1;
    const bool quiet = args.has("quiet");
    const bool bar_on = !quiet && isatty(STDERR_FILENO);

    auto t0 = std::chrono::steady_clock::now();
    gr_complex* analysis = gr_complex_create(image);
    if (!analysis) {
        gr_image_release(image);
        return cli_fail_memory("lines", in);
    }
    if (quiet)
        gr_complex_set_log(analysis, {nullptr, nullptr});
    cli__bar_s bar = {bar_on, "analysing"};
    // Only the tangents and the gradient magnitude are kept: the flow passes
    // and the drawing read nothing else.
    bool done =
        gr_complex_compute_tangents(analysis, int32_t(p.sst_radius), cli__bar_progress, &bar);
    const double t_sst = cli_seconds_since(t0);

    t0 = std::chrono::steady_clock::now();
    bar = {bar_on, "flow"};
    if (done && p.etf_passes > 0)
        cli_progress(bar.on, bar.label, 0.0f, nullptr);
    for (long i = 0; done && i < p.etf_passes; i++) {
        done = gr_complex_compute_etf(analysis, int32_t(p.etf_radius));
        if (done)
            cli_progress(bar.on, bar.label, float(i + 1) / float(p.etf_passes), nullptr);
    }
    const double t_etf = cli_seconds_since(t0);

    t0 = std::chrono::steady_clock::now();
    bar = {bar_on, "drawing"};
    gr_image_s* drawing = nullptr;
    if (done) {
        // The drawing follows the tangents alone.
        gr_complex_release_tensor(analysis, false);
        cli_progress(bar.on, bar.label, 0.0f, nullptr);
        drawing = gr_filter_fDoG(image, analysis, int32_t(p.inner_radius), int32_t(p.outer_radius),
                                 int32_t(p.flow_steps), int32_t(p.cross_steps), float(p.tau),
                                 float(p.threshold));
    }
    const double t_fdog = cli_seconds_since(t0);
    gr_complex_destroy(analysis);
    if (!drawing) {
        // The bar of the stage that failed is still open.
        if (bar_on)
            std::fputc('\n', stderr);
        gr_image_release(image);
        return cli_fail_memory("lines", in);
    }

    cli_progress(bar.on, bar.label, 1.0f, nullptr);
    const bool ok = cli_save_image(drawing, out);
    if (ok && !quiet)
        std::printf("%s: %u x %u -> %s (analysis %.3f s, %ld flow pass%s %.3f s, "
                    "drawing %.3f s)\n",
                    in, gr_image_get_width(image), gr_image_get_height(image), out, t_sst,
                    p.etf_passes, p.etf_passes == 1 ? "" : "es", t_etf, t_fdog);
    gr_image_release(drawing);
    gr_image_release(image);
    return ok ? 0 : 1;
}
