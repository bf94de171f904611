// spotweave blur: binomial smoothing of a picture, file to file.

#include <cstdio>

#include "cli/cli.h"
#include "gr/gr_filter.h"
#include "gr/gr_internal.h"

static const cli_option_s cli__blur_options[] = {
    {"radius", 'r', true, "smoothing radius in pixels, 0..63 (default 2)"},
    {"output", 'o', true, "output file (.png, or .jpg/.jpeg for JPEG)"},
    {"help", 'h', false, "show this help"},
};
static const int cli__blur_count = int(sizeof cli__blur_options / sizeof cli__blur_options[0]);

static const cli_command_s cli__blur_command = {
    "blur", "spotweave blur IN -r RADIUS -o OUT",
    "Smooths a picture with the binomial kernel of 2 RADIUS + 1 taps\n"
    "(standard deviation sqrt(RADIUS / 2)) and saves it opaque.",
    cli__blur_options, cli__blur_count};

int cli_blur(int argc, char** argv) {
    cli_args_s args;
    int status = 0;
    if (!cli_start(&cli__blur_command, argc, argv, &args, &status))
        return status;
    long radius = 0;
    if (!cli_parse_int(args.get("radius", "2"), 0, GR__GAUSSIAN_MAX_RADIUS, &radius))
        return cli_fail("blur: the radius must be a whole number from 0 to %d, not '%s'",
                        GR__GAUSSIAN_MAX_RADIUS, args.get("radius", ""));
    const char* in = args.positional[0].c_str();
    const char* out = args.get("output", nullptr);
    if (!cli_check_output(in, out))
        return 1;

    gr_image_s* image = cli_load_image(in);
    if (!image)
        return 1;
    gr_image_s* blurred = gr_filter_gaussian(image, int32_t(radius));
    if (!blurred) {
        gr_image_release(image);
        return cli_fail_memory("blur", in);
    }
    const bool ok = cli_save_image(blurred, out);
    if (ok)
        std::printf("%s: %u x %u, radius %ld -> %s\n", in, gr_image_get_width(image),
                    gr_image_get_height(image), radius, out);
    gr_image_release(blurred);
    gr_image_release(image);
    return ok ? 0 : 1;
}
