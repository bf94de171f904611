// spotweave-host [options] [PLUGIN.so] IN OUT
// Loads a filter plug-in, opens IN as the document, runs the filter over it as
// a host application does and writes the document to OUT.
//
// Exit status: 0 done, 1 error (nothing written), 2 bad usage, 3 cancelled by
// the plug-in (nothing written), 4 done but the action file not written.

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>
#include <strings.h>
#include <vector>

#include "app/app_env.h"
#include "app/app_file.h"
#include "app/app_log.h"
#include "host/host_internal.h"

enum { EXIT_DONE = 0, EXIT_ERROR = 1, EXIT_USAGE = 2, EXIT_CANCELLED = 3, EXIT_PARTIAL = 4 };

static const char* const USAGE = "usage: spotweave-host [options] [PLUGIN.so] IN OUT\n"
                                 "       spotweave-host --about [PLUGIN.so]\n";

static void print_help() {
    std::printf(
        "%s\n"
        "Loads a filter plug-in (default: Spotweave.so beside this program, or in the\n"
        "installed lib/spotweave folder), opens the image IN as the document and applies\n"
        "the filter to it as a host application does:\n"
        "prepare, start, continue until the plug-in asks for nothing more, finish. OUT is\n"
        "written (PNG, or JPEG for .jpg/.jpeg) only when the filter succeeded; IN is never\n"
        "modified.\n"
        "\n"
        "options:\n"
        "  --rect X,Y,W,H     filter only this rectangle of the document (default: all)\n"
        "  --play FILE        play back this action descriptor (text form, see below)\n"
        "  --record FILE      write the action descriptor the plug-in records at finish\n"
        "  --parameters       call the parameters selector first, as for a fresh invocation\n"
        "  --about            show the plug-in's about box and exit\n"
        "  --selectors        print each selector call and its result code\n"
        "  --depth 8|16       open the document with 8 (default) or 16 bits a sample\n"
        "  --planes 3|4       open the document as RGB (3) or RGBA (4, default)\n"
        "  --help             show this help\n"
        "\n"
        "Action descriptors are text, one value a line (\"#\" and a blank start a comment):\n"
        "  Amnt UntF #Prc 50        key, unit float: unit and number\n"
        "  disP enum mooD moD1      key, enumeration: type and value\n"
        "  ignS bool false          key, boolean: true or false\n"
        "  (also: KEY long INTEGER, KEY doub NUMBER; codes are four characters or 0xXXXXXXXX)\n"
        "\n"
        "The plug-in's persistent registry is kept in $XDG_CONFIG_HOME/spotweave/registry.\n"
        "Exit status: 0 done, 1 error (nothing written), 2 bad usage, 3 cancelled (document\n"
        "left unchanged), 4 done but the action file could not be written.\n",
        USAGE);
}

static int fail(int status, const char* format, ...) __attribute__((format(printf, 2, 3)));
static int fail(int status, const char* format, ...) {
    char message[2048];
    va_list args;
    va_start(args, format);
    std::vsnprintf(message, sizeof message, format, args);
    va_end(args);
    // File names and action text in the message must not drive the terminal.
    char shown[4 * sizeof message];
    app_log_escape(message, shown, sizeof shown);
    std::fprintf(stderr, "spotweave-host: %s\n", shown);
    return status;
}

// Parses "X,Y,W,H" (four whole numbers).
static bool parse_rect(const char* text, int32_t v[4]) {
    const char* p = text;
    const char* end = text + std::strlen(text);
    for (int i = 0; i < 4; i++) {
        auto [next, ec] = std::from_chars(p, end, v[i]);
        if (ec != std::errc() || next == p)
            return false;
        p = next;
        if (i < 3) {
            if (p == end || *p != ',')
                return false;
            p++;
        }
    }
    return p == end;
}

static bool read_file(const char* path, std::string* text, std::string* error) {
    FILE* f = std::fopen(path, "rbe");
    if (!f) {
        *error = std::strerror(errno);
        return false;
    }
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        text->append(buffer, n);
    bool failed = std::ferror(f);
    std::fclose(f);
    if (failed)
        *error = "read error";
    return !failed;
}

// Checks that path can take the file the run writes, or says why not.
static bool check_output(const char* what, const char* path) {
    char why[512];
    if (app_file_check_output(path, why, sizeof why))
        return true;
    fail(EXIT_ERROR, "cannot write %s '%s': %s", what, path, why);
    return false;
}

// Says why a write failed: errno's reason, which for ENOMEM is "out of memory".
static const char* write_reason(int err) {
    return err == ENOMEM ? "out of memory" : err ? std::strerror(err) : "write error";
}

static bool ends_with(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// Loads the input image, or says why not.
static gr_image_s* load_input(const char* path) {
    struct stat st;
    if (stat(path, &st) != 0) {
        fail(EXIT_ERROR, "cannot open '%s': %s", path, std::strerror(errno));
        return nullptr;
    }
    if (S_ISDIR(st.st_mode)) {
        fail(EXIT_ERROR, "cannot open '%s': it is a folder", path);
        return nullptr;
    }
    gr_image_load_s load = {};
    load.max_pixels = GR_IMAGE_MAX_PIXELS;
    if (!app_env_number("SPOTWEAVE_MAX_PIXELS", 1, UINT32_MAX, &load.max_pixels)) {
        fail(EXIT_ERROR, "SPOTWEAVE_MAX_PIXELS must be a whole number from 1 to %u, not '%s'",
             unsigned(UINT32_MAX), std::getenv("SPOTWEAVE_MAX_PIXELS"));
        return nullptr;
    }
    gr_image_s* image = gr_image_load_file(path, &load);
    if (!image) {
        if (load.status == GR_IMAGE_LOAD_UNREADABLE)
            fail(EXIT_ERROR, "cannot open '%s': %s", path, load.reason);
        else if (load.status == GR_IMAGE_LOAD_NOT_AN_IMAGE)
            fail(EXIT_ERROR, "cannot read '%s': not an image in a known format (%s)", path,
                 load.reason);
        else if (uint64_t(load.width) * load.height > load.max_pixels)
            fail(EXIT_ERROR, "cannot read '%s': %s; SPOTWEAVE_MAX_PIXELS raises the cap", path,
                 load.reason);
        else
            fail(EXIT_ERROR, "cannot read '%s': %s", path, load.reason);
        return nullptr;
    }
    if (gr_image_get_width(image) == 0 || gr_image_get_height(image) == 0) {
        gr_image_release(image);
        fail(EXIT_ERROR, "cannot use '%s': the image is empty", path);
        return nullptr;
    }
    return image;
}

// Writes the document to out and the recorded action to record (when given).
// What can fail short of the disk is settled before out is written, so that no
// failure after it claims that nothing was written. Returns the exit status.
static int write_result(const host_session_s* session, const host_document_s* document,
                        const char* out, const char* record) {
    std::string text;
    if (record) {
        host_desc_s recorded;
        if (!host_recorded(session, &recorded))
            return fail(EXIT_ERROR,
                        "the plug-in recorded no action; neither '%s' nor '%s' is written", out,
                        record);
        text = host_desc_format(&recorded);
    }
    gr_image_s* result = host_document_to_image(document);
    if (!result)
        return fail(EXIT_ERROR, "out of memory; '%s' is not written", out);
    errno = 0;
    const bool saved = ends_with(out, ".jpg") || ends_with(out, ".jpeg")
                           ? gr_image_save_jpeg(result, out, 0.92f)
                           : gr_image_save_file(result, out);
    const int err = errno;
    gr_image_release(result);
    if (!saved)
        return fail(EXIT_ERROR, "cannot write '%s': %s", out, write_reason(err));
    if (record && !app_file_write(record, unsigned(text.size()), text.data()))
        return fail(EXIT_PARTIAL, "cannot write action '%s': %s ('%s' is written)", record,
                    write_reason(errno), out);
    return EXIT_DONE;
}

static int run(int argc, char** argv) {
    const char* rect_text = nullptr;
    const char* play_path = nullptr;
    const char* record_path = nullptr;
    bool about = false, selectors = false, parameters = false;
    int16_t depth = 8, planes = 4;
    std::vector<const char*> positional;

    for (int i = 1; i < argc; i++) {
        const char* arg = argv[i];
        auto value = [&](const char* name) -> const char* {
            if (i + 1 >= argc) {
                fail(EXIT_USAGE, "option %s needs a value", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (std::strcmp(arg, "--") == 0) {
            for (i++; i < argc; i++)
                positional.push_back(argv[i]);
        } else if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            print_help();
            return EXIT_DONE;
        } else if (std::strcmp(arg, "--about") == 0) {
            about = true;
        } else if (std::strcmp(arg, "--selectors") == 0) {
            selectors = true;
        } else if (std::strcmp(arg, "--parameters") == 0) {
            parameters = true;
        } else if (std::strcmp(arg, "--rect") == 0) {
            if (!(rect_text = value(arg)))
                return EXIT_USAGE;
        } else if (std::strcmp(arg, "--play") == 0) {
            if (!(play_path = value(arg)))
                return EXIT_USAGE;
        } else if (std::strcmp(arg, "--record") == 0) {
            if (!(record_path = value(arg)))
                return EXIT_USAGE;
        } else if (std::strcmp(arg, "--depth") == 0 || std::strcmp(arg, "--planes") == 0) {
            const char* v = value(arg);
            if (!v)
                return EXIT_USAGE;
            bool is_depth = arg[2] == 'd';
            if (is_depth && (std::strcmp(v, "8") == 0 || std::strcmp(v, "16") == 0))
                depth = int16_t(std::atoi(v));
            else if (!is_depth && (std::strcmp(v, "3") == 0 || std::strcmp(v, "4") == 0))
                planes = int16_t(std::atoi(v));
            else
                return fail(EXIT_USAGE,
                            is_depth ? "--depth takes 8 or 16, not '%s'"
                                     : "--planes takes 3 or 4, not '%s'",
                            v);
        } else if (arg[0] == '-' && arg[1] != '\0') {
            return fail(EXIT_USAGE, "unknown option '%s' (see --help)", arg);
        } else {
            positional.push_back(arg);
        }
    }

    // ---- the module ----
    size_t files = about ? 0 : 2;
    if (positional.size() != files && positional.size() != files + 1) {
        return fail(EXIT_USAGE, about ? "--about takes at most the plug-in (see --help)"
                                      : "expected [PLUGIN.so] IN OUT (see --help)");
    }
    std::string module_path;
    if (positional.size() == files + 1)
        module_path = positional[0];
    else if (!host_module_default_path(&module_path))
        return fail(EXIT_ERROR, "cannot find Spotweave.so: the program's folder is unknown");
    host_module_s module;
    std::string error;
    if (!host_module_open(module_path.c_str(), &module, &error))
        return fail(EXIT_ERROR, "%s", error.c_str());

    int status = EXIT_DONE;
    host_document_s document;
    host_session_s session;
    gr_image_s* input = nullptr;
    host_desc_s play;
    const char* in_path = about ? nullptr : positional[positional.size() - 2];
    const char* out_path = about ? nullptr : positional[positional.size() - 1];

    if (about) {
        document.width = document.height = 1;
        document.samples.assign(4, 0);
        host_session_init(&session, module.entry, &document, VRect{0, 0, 1, 1});
        session.trace = selectors ? stdout : nullptr;
        int16 result = host_call(&session, filterSelectorAbout);
        if (result != 0)
            status = fail(EXIT_ERROR, "the about box failed with code %d", result);
        host_session_free(&session);
        host_module_close(&module);
        return status;
    }

    // ---- everything is checked before the plug-in runs ----
    do {
        if (play_path) {
            std::string text;
            if (!read_file(play_path, &text, &error)) {
                status = fail(EXIT_ERROR, "cannot read action '%s': %s", play_path, error.c_str());
                break;
            }
            if (!host_desc_parse(text, &play, &error)) {
                status = fail(EXIT_ERROR, "cannot read action '%s': %s", play_path, error.c_str());
                break;
            }
        }
        if (!(input = load_input(in_path))) {
            status = EXIT_ERROR;
            break;
        }
        // The files the run writes differ from the files it reads and from each other.
        if (app_file_same(in_path, out_path)) {
            status = fail(EXIT_ERROR, "'%s' is the input file; choose another output", out_path);
            break;
        }
        if (play_path && app_file_same(play_path, out_path)) {
            status = fail(EXIT_ERROR, "'%s' is the played action; choose another output", out_path);
            break;
        }
        if (record_path &&
            (app_file_same(record_path, in_path) || app_file_same(record_path, out_path) ||
             (play_path && app_file_same(record_path, play_path)))) {
            status =
                fail(EXIT_ERROR, "the action file must differ from the input, the output and the "
                                 "played action");
            break;
        }
        if (!check_output("output", out_path) ||
            (record_path && !check_output("action", record_path))) {
            status = EXIT_ERROR;
            break;
        }
        host_document_from_image(input, planes, depth, &document);
        VRect filter = {0, 0, document.height, document.width};
        if (rect_text) {
            int32_t r[4];
            if (!parse_rect(rect_text, r)) {
                status = fail(EXIT_USAGE, "--rect takes X,Y,W,H, not '%s'", rect_text);
                break;
            }
            if (r[2] <= 0 || r[3] <= 0 || r[0] < 0 || r[1] < 0 ||
                int64_t(r[0]) + r[2] > document.width || int64_t(r[1]) + r[3] > document.height) {
                status = fail(EXIT_ERROR,
                              "--rect %s does not lie inside the %dx%d document (or is empty)",
                              rect_text, document.width, document.height);
                break;
            }
            filter = VRect{r[1], r[0], r[1] + r[3], r[0] + r[2]};
        }

        // ---- the run ----
        host_session_init(&session, module.entry, &document, filter);
        session.trace = selectors ? stdout : nullptr;
        session.progress_bar = isatty(STDERR_FILENO);
        std::string message;
        host_outcome_t outcome =
            host_run(&session, parameters, play_path ? &play : nullptr, &message);
        if (outcome == HOST_CANCELLED) {
            status = fail(EXIT_CANCELLED,
                          "cancelled by the plug-in: the document is left unchanged and '%s' "
                          "is not written",
                          out_path);
        } else if (outcome == HOST_FAILED) {
            status = fail(EXIT_ERROR, "%s; '%s' is not written", message.c_str(), out_path);
        } else {
            if (!message.empty())
                fail(EXIT_DONE, "warning: %s", message.c_str());
            status = write_result(&session, &document, out_path, record_path);
        }
        host_session_free(&session);
    } while (false);

    gr_image_release(input);
    host_module_close(&module);
    return status;
}

int main(int argc, char** argv) {
    // The document, the descriptors and their texts are the host's own
    // containers, which throw when memory runs out; the image library and the
    // plug-in report it instead.
    try {
        return run(argc, argv);
    } catch (const std::bad_alloc&) {
        return fail(EXIT_ERROR, "out of memory");
    }
}
