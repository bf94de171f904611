// Option parsing and user-facing image input and output for spotweave.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

#include "app/app_env.h"
#include "app/app_file.h"
#include "app/app_log.h"
#include "cli/cli.h"

bool cli_args_s::has(const char* name) const {
    for (const auto& o : options)
        if (o.first == name)
            return true;
    return false;
}

const char* cli_args_s::get(const char* name, const char* fallback) const {
    const char* value = fallback;
    for (const auto& o : options)
        if (o.first == name)
            value = o.second.c_str();
    return value;
}

static const cli_option_s* cli__find(const cli_option_s* options, int count, const char* name,
                                     char letter) {
    for (int i = 0; i < count; i++)
        if ((name && std::strcmp(options[i].name, name) == 0) ||
            (!name && letter && options[i].letter == letter))
            return &options[i];
    return nullptr;
}

bool cli_parse(int argc, char** argv, int first, const cli_option_s* options, int count,
               cli_args_s* out, std::string* error) {
    bool only_positional = false;
    for (int i = first; i < argc; i++) {
        const char* arg = argv[i];
        if (only_positional || arg[0] != '-' || arg[1] == '\0') {
            out->positional.push_back(arg);
            continue;
        }
        if (std::strcmp(arg, "--") == 0) {
            only_positional = true;
            continue;
        }
        const cli_option_s* opt = nullptr;
        std::string inline_value;
        bool has_inline = false;
        if (arg[1] == '-') {
            std::string name = arg + 2;
            size_t eq = name.find('=');
            if (eq != std::string::npos) {
                inline_value = name.substr(eq + 1);
                name = name.substr(0, eq);
                has_inline = true;
            }
            opt = cli__find(options, count, name.c_str(), 0);
        } else if (arg[2] == '\0') {
            opt = cli__find(options, count, nullptr, arg[1]);
        }
        if (!opt) {
            *error = std::string("unknown option '") + arg + "'";
            return false;
        }
        if (!opt->has_value) {
            if (has_inline) {
                *error = std::string("option --") + opt->name + " takes no value";
                return false;
            }
            out->options.emplace_back(opt->name, "");
        } else if (has_inline) {
            out->options.emplace_back(opt->name, inline_value);
        } else if (i + 1 < argc) {
            out->options.emplace_back(opt->name, argv[++i]);
        } else {
            *error = std::string("option --") + opt->name + " needs a value";
            return false;
        }
    }
    return true;
}

void cli_print_usage(const char* synopsis, const char* description, const cli_option_s* options,
                     int count) {
    std::printf("usage: %s\n\n%s\n", synopsis, description);
    if (count > 0)
        std::printf("\noptions:\n");
    for (int i = 0; i < count; i++) {
        char left[64];
        if (options[i].letter)
            std::snprintf(left, sizeof left, "-%c, --%s%s", options[i].letter, options[i].name,
                          options[i].has_value ? " VALUE" : "");
        else
            std::snprintf(left, sizeof left, "    --%s%s", options[i].name,
                          options[i].has_value ? " VALUE" : "");
        std::printf("  %-26s %s\n", left, options[i].help);
    }
}

bool cli_start(const cli_command_s* command, int argc, char** argv, cli_args_s* args, int* status) {
    std::string error;
    if (!cli_parse(argc, argv, 2, command->options, command->count, args, &error)) {
        *status = cli_fail("%s: %s (see spotweave %s --help)", command->name, error.c_str(),
                           command->name);
        return false;
    }
    if (args->has("help")) {
        cli_print_usage(command->synopsis, command->description, command->options, command->count);
        *status = 0;
        return false;
    }
    if (args->positional.size() != 1) {
        *status = cli_fail("%s: expected one input file, got %zu (see spotweave %s --help)",
                           command->name, args->positional.size(), command->name);
        return false;
    }
    return true;
}

int cli_fail(const char* format, ...) {
    char message[1024];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    // File names and file contents in the message must not drive the terminal.
    char shown[4 * sizeof message];
    app_log_escape(message, shown, sizeof shown);
    std::fprintf(stderr, "spotweave: %s\n", shown);
    return 1;
}

int cli_fail_memory(const char* command, const char* path) {
    return cli_fail("%s: out of memory working on '%s'; nothing is written", command, path);
}

bool cli_parse_int(const char* text, long lo, long hi, long* out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    long v = std::strtol(text, &end, 10);
    if (errno != 0 || *end != '\0' || v < lo || v > hi)
        return false;
    *out = v;
    return true;
}

bool cli_parse_float(const char* text, double* out) {
    if (!text || !*text)
        return false;
    char* end = nullptr;
    errno = 0;
    double v = std::strtod(text, &end);
    if (errno != 0 || *end != '\0' || !std::isfinite(v))
        return false;
    *out = v;
    return true;
}

gr_image_s* cli_load_image(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) {
        cli_fail("cannot open '%s': %s", path, std::strerror(errno));
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        cli_fail("cannot open '%s': it is a folder", path);
        return nullptr;
    }
    gr_image_load_s load = {};
    load.max_pixels = GR_IMAGE_MAX_PIXELS;
    if (!app_env_number("SPOTWEAVE_MAX_PIXELS", 1, UINT32_MAX, &load.max_pixels)) {
        cli_fail("SPOTWEAVE_MAX_PIXELS must be a whole number from 1 to %u, not '%s'",
                 unsigned(UINT32_MAX), std::getenv("SPOTWEAVE_MAX_PIXELS"));
        return nullptr;
    }
    gr_image_s* image = gr_image_load_file(path, &load);
    if (image)
        return image;
    if (load.status == GR_IMAGE_LOAD_UNREADABLE)
        cli_fail("cannot open '%s': %s", path, load.reason);
    else if (load.status == GR_IMAGE_LOAD_NOT_AN_IMAGE)
        cli_fail("'%s' is not an image spotweave can read (PNG, JPEG, BMP, GIF, TGA, PSD, "
                 "PNM, HDR): %s",
                 path, load.reason);
    else if (uint64_t(load.width) * load.height > load.max_pixels)
        cli_fail("cannot read '%s': %s; SPOTWEAVE_MAX_PIXELS raises the cap", path, load.reason);
    else
        cli_fail("cannot read '%s': %s", path, load.reason);
    return nullptr;
}

static bool cli__is_jpeg_name(const char* path) {
    const char* dot = std::strrchr(path, '.');
    return dot && (strcasecmp(dot, ".jpg") == 0 || strcasecmp(dot, ".jpeg") == 0);
}

bool cli_check_output(const char* in, const char* out) {
    if (!out || !*out) {
        cli_fail("no output file given (use -o OUT)");
        return false;
    }
    if (in && app_file_same(in, out)) {
        cli_fail("the output '%s' is the input file; choose another name", out);
        return false;
    }
    // Refused now rather than after minutes of work.
    char why[512];
    if (!app_file_check_output(out, why, sizeof why)) {
        cli_fail("cannot write '%s': %s", out, why);
        return false;
    }
    return true;
}

void cli_progress(bool on, const char* label, float fraction, const char* detail) {
    if (!on)
        return;
    const int width = 24;
    const int filled = int(fraction * float(width) + 0.5f);
    char cells[width + 1];
    for (int i = 0; i < width; i++)
        cells[i] = i < filled ? '#' : ' ';
    cells[width] = '\0';
    std::fprintf(stderr, "\r%-10s [%s] %3d%% %s", label, cells, int(fraction * 100.0f + 0.5f),
                 detail ? detail : "");
    // Ends the line at 100% so that later messages start on their own line.
    if (fraction >= 1.0f)
        std::fputc('\n', stderr);
    std::fflush(stderr);
}

double cli_seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Reports that out could not be written, with errno's reason.
static bool cli__write_failed(const char* out, int err) {
    cli_fail("cannot write '%s'%s%s", out, err ? ": " : "",
             err == ENOMEM ? "out of memory"
             : err         ? std::strerror(err)
                           : "");
    return false;
}

bool cli_encode_image(const gr_image_s* image, const char* out, cli_encoded_s* encoded) {
    errno = 0;
    uint32_t size = 0;
    unsigned char* bytes = cli__is_jpeg_name(out) ? gr_image_encode_jpeg(image, &size, 0.9f)
                                                  : gr_image_encode_png(image, &size);
    if (!bytes)
        return cli__write_failed(out, errno ? errno : ENOMEM);
    encoded->bytes.reset(bytes);
    encoded->size = size;
    return true;
}

bool cli_write_encoded(const cli_encoded_s& encoded, const char* out) {
    errno = 0;
    return app_file_write(out, encoded.size, encoded.bytes.get()) || cli__write_failed(out, errno);
}

bool cli_save_image(const gr_image_s* image, const char* out) {
    cli_encoded_s encoded;
    return cli_encode_image(image, out, &encoded) && cli_write_encoded(encoded, out);
}
