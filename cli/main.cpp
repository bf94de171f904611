// spotweave: the stand-alone program over the Spotweave engine.

#include <cstdio>
#include <cstring>
#include <new>

#include "cli/cli.h"

struct cli__command_s {
    const char* name;
    int (*run)(int argc, char** argv);
    const char* summary;
};

static const cli__command_s cli__commands[] = {
    {"blur", cli_blur, "smooth a picture with the binomial kernel"},
    {"resize", cli_resize, "scale a picture to a size or a longest side"},
    {"lines", cli_lines, "draw a picture as coherent lines along its edges"},
    {"render", cli_render, "grow the reaction-diffusion pattern out of a picture"},
    {"view", cli_view, "watch the pattern grow in a window, paint into it, save it"},
};

static void cli__usage(FILE* to) {
    std::fprintf(to,
                 "usage: spotweave COMMAND [options]\n\n"
                 "Grows reaction-diffusion patterns out of pictures and draws them as lines.\n\n"
                 "commands:\n");
    for (const auto& c : cli__commands)
        std::fprintf(to, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(to, "\nspotweave COMMAND --help shows a command's options.\n");
}

int main(int argc, char** argv) {
    if (argc < 2) {
        cli__usage(stderr);
        return 2;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        cli__usage(stdout);
        return 0;
    }
    for (const auto& c : cli__commands) {
        if (std::strcmp(argv[1], c.name) != 0)
            continue;
        // The library reports running out of memory with null; the program's
        // own strings and tables throw. Outputs are written whole at the end,
        // so an exception leaves nothing behind.
        try {
            return c.run(argc, argv);
        } catch (const std::bad_alloc&) {
            std::fprintf(stderr, "spotweave: %s: out of memory; nothing is written\n", c.name);
            return 1;
        }
    }
    std::fprintf(stderr, "spotweave: unknown command '%s'\n\n", argv[1]);
    cli__usage(stderr);
    return 2;
}
