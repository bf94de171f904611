// spotweave resize: scale a picture to an exact size or to a longest side.

#include <cstdio>
#include <cstring>

#include "cli/cli.h"
#include "gr/gr_filter.h"

// Largest side accepted: 16384 x 16384 words is 1 GiB, and the pixel count
// stays well inside 32 bits.
static const long CLI__RESIZE_MAX_SIDE = 16384;

static const cli_option_s cli__resize_options[] = {
    {"long-side", 'l', true, "scale so that the longer side is N pixels (aspect kept)"},
    {"size", 's', true, "scale to exactly WxH pixels (aspect not kept)"},
    {"output", 'o', true, "output file (.png, or .jpg/.jpeg for JPEG)"},
    {"help", 'h', false, "show this help"},
};
static const int cli__resize_count =
    int(sizeof cli__resize_options / sizeof cli__resize_options[0]);

// Parses "WxH" (x or X) into two sides within 1..CLI__RESIZE_MAX_SIDE.
static bool cli__parse_size(const char* text, long* w, long* h) {
    const char* x = std::strpbrk(text, "xX");
    if (!x)
        return false;
    const std::string left(text, size_t(x - text));
    return cli_parse_int(left.c_str(), 1, CLI__RESIZE_MAX_SIDE, w) &&
           cli_parse_int(x + 1, 1, CLI__RESIZE_MAX_SIDE, h);
}

static const cli_command_s cli__resize_command = {
    "resize", "spotweave resize IN (--long-side N | --size WxH) -o OUT",
    "Scales a picture, larger or smaller, with separable filtering and\n"
    "clamped edges; alpha is filtered like a colour. Sides are 1..16384.",
    cli__resize_options, cli__resize_count};

int cli_resize(int argc, char** argv) {
    cli_args_s args;
    int status = 0;
    if (!cli_start(&cli__resize_command, argc, argv, &args, &status))
        return status;
    const bool by_side = args.has("long-side"), by_size = args.has("size");
    if (by_side == by_size)
        return cli_fail("resize: give exactly one of --long-side N and --size WxH");
    long w = 0, h = 0;
    if (by_side && !cli_parse_int(args.get("long-side", ""), 1, CLI__RESIZE_MAX_SIDE, &w))
        return cli_fail("resize: the long side must be a whole number from 1 to %ld, not '%s'",
                        CLI__RESIZE_MAX_SIDE, args.get("long-side", ""));
    if (by_size && !cli__parse_size(args.get("size", ""), &w, &h))
        return cli_fail("resize: the size must be WxH with whole numbers from 1 to %ld, not '%s'",
                        CLI__RESIZE_MAX_SIDE, args.get("size", ""));
    const char* in = args.positional[0].c_str();
    const char* out = args.get("output", nullptr);
    if (!cli_check_output(in, out))
        return 1;

    gr_image_s* image = cli_load_image(in);
    if (!image)
        return 1;
    gr_image_s* scaled = gr_filter_resize(image, uint32_t(w), uint32_t(h));
    if (!scaled) {
        // The sides are checked above, so only memory can be missing.
        gr_image_release(image);
        return cli_fail_memory("resize", in);
    }
    const bool ok = cli_save_image(scaled, out);
    if (ok)
        std::printf("%s: %u x %u -> %u x %u -> %s\n", in, gr_image_get_width(image),
                    gr_image_get_height(image), gr_image_get_width(scaled),
                    gr_image_get_height(scaled), out);
    gr_image_release(scaled);
    gr_image_release(image);
    return ok ? 0 : 1;
}
