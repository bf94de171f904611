#pragma once
// Shared pieces of the spotweave program: option parsing, image input and
// output with user-facing messages, and the sub-command entries.

#include <chrono>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "gr/gr_image.h"

// One accepted option: long name ("radius"), short letter (0 for none),
// whether it takes a value, and its help line.
struct cli_option_s {
    const char* name;
    char letter;
    bool has_value;
    const char* help;
};

// A parsed command line: positional arguments and the options seen, each
// with its value ("" for flags); later occurrences override earlier ones.
struct cli_args_s {
    std::vector<std::string> positional;
    std::vector<std::pair<std::string, std::string>> options;

    bool has(const char* name) const;                              // option given?
    const char* get(const char* name, const char* fallback) const; // value or fallback
};

// Parses argv[first..argc) against options. Returns false and fills error
// for an unknown option or a missing value.
bool cli_parse(int argc, char** argv, int first, const cli_option_s* options, int count,
               cli_args_s* out, std::string* error);

// A sub-command's name, usage synopsis, description and option table.
struct cli_command_s {
    const char* name;
    const char* synopsis;
    const char* description;
    const cli_option_s* options;
    int count;
};

// Parses a sub-command's arguments (argv[2..]) and checks that exactly one
// input file is given. Returns false when the command is already done: --help
// printed its usage, or a parse error was reported; *status is then the exit
// status.
bool cli_start(const cli_command_s* command, int argc, char** argv, cli_args_s* args, int* status);

// Prints a usage block: the synopsis, a description and the option table.
void cli_print_usage(const char* synopsis, const char* description, const cli_option_s* options,
                     int count);

// Reports an error as "spotweave: <message>" on standard error; returns 1.
int cli_fail(const char* format, ...);

// Reports that memory ran out while command worked on path, nothing written;
// returns 1.
int cli_fail_memory(const char* command, const char* path);

// Parses a whole decimal integer within [lo, hi]. Returns false otherwise.
bool cli_parse_int(const char* text, long lo, long hi, long* out);

// Parses a finite decimal number. Returns false otherwise.
bool cli_parse_float(const char* text, double* out);

// Loads an image file, or reports why not (missing, unreadable, not an image,
// over the pixel cap of SPOTWEAVE_MAX_PIXELS or GR_IMAGE_MAX_PIXELS, out of
// memory) and returns null. Owns: caller.
gr_image_s* cli_load_image(const char* path);

// Checks before any work that out is a usable output path: given, not the
// input file itself, not a folder or another non-regular file, in a folder
// that can take a new file. Reports and returns false otherwise.
bool cli_check_output(const char* in, const char* out);

// Draws a one-line progress bar on standard error, redrawn in place, when on
// (callers pass whether standard error is a terminal); ends the line at 1.0.
void cli_progress(bool on, const char* label, float fraction, const char* detail);

// Returns the seconds elapsed since start.
double cli_seconds_since(std::chrono::steady_clock::time_point start);

// Saves as JPEG when out ends in .jpg/.jpeg, else as PNG; whole or not at all.
// Reports and returns false on failure.
bool cli_save_image(const gr_image_s* image, const char* out);

// An image encoded for its output file, so that several outputs can be
// encoded before the first is written.
struct cli_encoded_s {
    std::unique_ptr<unsigned char, decltype(&std::free)> bytes{nullptr, &std::free};
    uint32_t size = 0;
};

// Encodes image as cli_save_image would for out. Reports and returns false
// when memory runs out.
bool cli_encode_image(const gr_image_s* image, const char* out, cli_encoded_s* encoded);

// Writes encoded bytes to out, whole or not at all. Reports and returns false
// on failure.
bool cli_write_encoded(const cli_encoded_s& encoded, const char* out);

// ---- sub-commands: each returns the process exit status ----------------------------

int cli_blur(int argc, char** argv);
int cli_resize(int argc, char** argv);
int cli_lines(int argc, char** argv);
int cli_render(int argc, char** argv);
int cli_view(int argc, char** argv);
