// spotweave view: the plug-in's preview window without a host. The pattern
// grows live on the picture; OK saves it at the picture's size, Cancel (or
// closing the window) writes nothing.

#include <cstdio>

#include "app/app_panel.h"
#include "cli/cli.h"
#include "common/psdk_preview.h"
#include "gr/gr_filter.h"

static const cli_option_s cli__view_options[] = {
    {"output", 'o', true, "where OK saves the pattern (.png, or .jpg/.jpeg); without it OK asks"},
    {"help", 'h', false, "show this help"},
};

static const cli_command_s cli__view_command = {
    "view", "spotweave view IN [-o OUT]",
    "Opens the preview window on a picture: the reaction-diffusion pattern grows\n"
    "live, oriented along the picture's edges. Pictures larger than 1024 pixels\n"
    "are simulated at a longest side of 1024. In the window:\n"
    "  drag            paint fresh noise into the pattern\n"
    "  Ctrl + wheel    zoom about the pointer (each notch by 1.1)\n"
    "  wheel           pan\n"
    "  P               pause and resume\n"
    "  space           restart from noise\n"
    "  S               save the shown picture as PNG (asks where)\n"
    "OK saves the pattern, scaled back to the picture's size, to OUT (or asks\n"
    "where when -o is not given); Cancel or closing the window writes nothing\n"
    "and exits with status 3. Files dropped on the window are ignored.",
    cli__view_options, int(sizeof cli__view_options / sizeof cli__view_options[0])};

// Exit status of a run the user cancelled.
static constexpr int CLI__CANCELLED = 3;

int cli_view(int argc, char** argv) {
    cli_args_s args;
    int status = 0;
    if (!cli_start(&cli__view_command, argc, argv, &args, &status))
        return status;
    const char* in = args.positional[0].c_str();
    const char* out = args.get("output", nullptr);
    if (out && !cli_check_output(in, out))
        return 1;
    gr_image_s* image = cli_load_image(in);
    if (!image)
        return 1;
    const uint32_t w = gr_image_get_width(image), h = gr_image_get_height(image);
    gr_image_s* picture =
        w > 1024 || h > 1024 ? gr_filter_resize(image, 1024, 0) : gr_image_retain(image);
    gr_image_release(image);
    if (!picture)
        return cli_fail("view: cannot scale '%s' down (out of memory)", in);

    gr_image_s* pattern = nullptr;
    // The dialog takes over the picture's reference.
    const int code = psdk_preview_dialog(picture, &pattern);
    if (code != 1 || !pattern) {
        // Without a window the window has said why; OK before the first
        // pattern was shown keeps nothing either.
        if (code >= 0)
            std::fprintf(stderr, "spotweave: view: %s; nothing written\n",
                         code != 1 ? "cancelled" : "no pattern yet");
        return CLI__CANCELLED;
    }
    std::string chosen;
    if (!out) {
        char path[4096];
        if (!app_get_image_save_path_remembered("Save pattern", sizeof path, path)) {
            gr_image_release(pattern);
            std::fprintf(stderr, "spotweave: view: no file chosen; nothing written\n");
            return CLI__CANCELLED;
        }
        chosen = path;
        out = chosen.c_str();
        if (!cli_check_output(in, out)) {
            gr_image_release(pattern);
            return 1;
        }
    }
    gr_image_s* result = gr_image_get_width(pattern) == w && gr_image_get_height(pattern) == h
                             ? gr_image_retain(pattern)
                             : gr_filter_resize(pattern, w, h);
    gr_image_release(pattern);
    if (!result)
        return cli_fail("view: cannot scale the pattern back (out of memory)");
    const bool ok = cli_save_image(result, out);
    gr_image_release(result);
    if (ok)
        std::printf("%s: %u x %u -> %s\n", in, w, h, out);
    return ok ? 0 : 1;
}
