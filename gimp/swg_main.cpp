// spotweave-gimp: Spotweave as a GIMP 2.10 plug-in. Two procedures under
// Filters > Artistic: "plug-in-spotweave" grows the reaction-diffusion pattern
// (interactively in the preview window, or headless with the iterations and
// the longest side to simulate at), "plug-in-spotweave-lines" draws the
// picture as coherent lines. Both work on the selection's bounds of the
// drawable (or all of it), leave the pixels outside alone, keep alpha, read
// and write through babl formats in the drawable's own precision, and are one
// undo step.

#include <libgimp/gimp.h>

#include <cstdio>
#include <cstring>
#include <iterator>

#include "gimp/swg_engine.h"
#include "gimp/swg_pixels.h"

static constexpr const char* SWG_PATTERN_PROC = "plug-in-spotweave";
static constexpr const char* SWG_LINES_PROC = "plug-in-spotweave-lines";

// Arguments every filter procedure starts with.
static constexpr int SWG_COMMON_ARGS = 3;

// ---- registration ---------------------------------------------------------------------------

static GimpParamDef swg__arg(GimpPDBArgType type, const char* name, const char* description) {
    // libgimp declares the texts writable but only reads them.
    return {type, const_cast<gchar*>(name), const_cast<gchar*>(description)};
}

// The arguments every filter procedure starts with.
#define SWG__FILTER_ARGS                                                                   \
    swg__arg(GIMP_PDB_INT32, "run-mode",                                                   \
             "The run mode { RUN-INTERACTIVE (0), RUN-NONINTERACTIVE (1), "                \
             "RUN-WITH-LAST-VALS (2) }"),                                                  \
        swg__arg(GIMP_PDB_IMAGE, "image", "Input image"),                                  \
        swg__arg(GIMP_PDB_DRAWABLE, "drawable", "Input drawable")

static const GimpParamDef swg__pattern_args[] = {
    SWG__FILTER_ARGS,
    swg__arg(GIMP_PDB_INT32, "iterations", "Solver iterations (1..100000, default 160)"),
    swg__arg(GIMP_PDB_INT32, "max-side",
             "Longest side to simulate at; larger areas are scaled down and the pattern "
             "scaled back (16..8192, default 1024)"),
};

static const GimpParamDef swg__lines_args[] = {
    SWG__FILTER_ARGS,
    swg__arg(GIMP_PDB_INT32, "sst-radius", "Structure tensor smoothing radius (0..63, default 3)"),
    swg__arg(GIMP_PDB_INT32, "etf-passes", "Edge-tangent-flow passes (0..100, default 3)"),
    swg__arg(GIMP_PDB_INT32, "etf-radius", "Edge-tangent-flow window radius (0..32, default 5)"),
    swg__arg(GIMP_PDB_INT32, "inner-radius", "Inner (line) blur radius (0..63, default 5)"),
    swg__arg(GIMP_PDB_INT32, "outer-radius", "Outer (surround) blur radius (0..63, default 8)"),
    swg__arg(GIMP_PDB_INT32, "flow-steps", "Unit steps each way along the flow (0..63, default 8)"),
    swg__arg(GIMP_PDB_INT32, "cross-steps",
             "Unit steps each way across the flow (0..63, default 2)"),
    swg__arg(GIMP_PDB_FLOAT, "tau", "Weight of the outer blur (0..2, default 0.98)"),
    swg__arg(GIMP_PDB_FLOAT, "threshold",
             "Line threshold on 1 + tanh(response) (0..2, default 0.9999)"),
};

static constexpr int swg__count(const GimpParamDef* first, const GimpParamDef* end) {
    return int(end - first);
}

static void swg__query(void) {
    gimp_install_procedure(
        SWG_PATTERN_PROC, "Grow a reaction-diffusion pattern out of the picture",
        "Grows a self-organising pattern of spots and stripes out of the selected area: small "
        "where the picture is dark, large where it is bright, flowing along its edges. "
        "Interactively the pattern grows live in a preview window (drag paints fresh noise, "
        "Ctrl + wheel zooms, P pauses, space restarts) and OK writes it into the drawable. "
        "Non-interactively it runs the given number of iterations headless, at the given "
        "longest side, like 'spotweave render'. Alpha is kept.",
        "Spotweave", "Spotweave", "2024", "Spotweave\xE2\x80\xA6", "RGB*, GRAY*", GIMP_PLUGIN,
        swg__count(swg__pattern_args, std::end(swg__pattern_args)), 0, swg__pattern_args, nullptr);
    gimp_plugin_menu_register(SWG_PATTERN_PROC, "<Image>/Filters/Artistic");

    gimp_install_procedure(
        SWG_LINES_PROC, "Draw the picture as coherent lines",
        "Draws the selected area as black lines on white along the picture's edges: the "
        "structure tensor of its brightness, edge-tangent-flow passes, then a difference of "
        "two blurs averaged along that flow and thresholded, like 'spotweave lines'. "
        "Interactively it runs with the last values used (at first the defaults). Alpha is "
        "kept.",
        "Spotweave", "Spotweave", "2024", "Spotweave Lines", "RGB*, GRAY*", GIMP_PLUGIN,
        swg__count(swg__lines_args, std::end(swg__lines_args)), 0, swg__lines_args, nullptr);
    gimp_plugin_menu_register(SWG_LINES_PROC, "<Image>/Filters/Artistic");
}

// ---- pixels ---------------------------------------------------------------------------------

// The filter area: the selection's bounds within the drawable.
struct swg__area_s {
    gint x, y, width, height;
};

static const Babl* swg__format(gint32 drawable, bool grey, const char* type) {
    char name[32];
    std::snprintf(name, sizeof name, "%s %s", grey ? "Y'A" : "R'G'B'A", type);
    return babl_format_with_space(name, gimp_drawable_get_format(drawable));
}

static GeglRectangle swg__rect(const swg__area_s& area) {
    return GeglRectangle{area.x, area.y, area.width, area.height};
}

// Reads the area as an opaque 8-bit picture; null when memory runs out.
static gr_image_s* swg__read(gint32 drawable, const swg__area_s& area, bool grey) {
    const int channels = grey ? 2 : 4;
    const size_t bytes = size_t(area.width) * size_t(area.height) * size_t(channels);
    guchar* samples = static_cast<guchar*>(g_try_malloc(bytes));
    if (!samples)
        return nullptr;
    GeglBuffer* buffer = gimp_drawable_get_buffer(drawable);
    const GeglRectangle rect = swg__rect(area);
    gegl_buffer_get(buffer, &rect, 1.0, swg__format(drawable, grey, "u8"), samples,
                    GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    g_object_unref(buffer);
    gr_image_s* picture = swg_pixels_to_picture(samples, channels, area.width, area.height);
    g_free(samples);
    return picture;
}

// Writes result's colour over the area through the shadow buffer, keeping
// alpha, and merges it: masked by the selection, one undo step of image.
// False when memory runs out (the drawable is then unchanged).
static bool swg__write(gint32 image, gint32 drawable, const swg__area_s& area, bool grey,
                       gr_image_s* result) {
    const int channels = grey ? 2 : 4;
    const size_t count = size_t(area.width) * size_t(area.height) * size_t(channels);
    gfloat* samples = static_cast<gfloat*>(g_try_malloc(count * sizeof(gfloat)));
    if (!samples)
        return false;
    const Babl* format = swg__format(drawable, grey, "float");
    const GeglRectangle rect = swg__rect(area);
    GeglBuffer* buffer = gimp_drawable_get_buffer(drawable);
    gegl_buffer_get(buffer, &rect, 1.0, format, samples, GEGL_AUTO_ROWSTRIDE, GEGL_ABYSS_NONE);
    g_object_unref(buffer);
    swg_pixels_put_colour(samples, channels, result);
    GeglBuffer* shadow = gimp_drawable_get_shadow_buffer(drawable);
    gegl_buffer_set(shadow, &rect, 0, format, samples, GEGL_AUTO_ROWSTRIDE);
    g_object_unref(shadow);
    g_free(samples);
    gimp_image_undo_group_start(image);
    gimp_drawable_merge_shadow(drawable, TRUE);
    gimp_drawable_update(drawable, area.x, area.y, area.width, area.height);
    gimp_image_undo_group_end(image);
    return true;
}

// ---- runs -----------------------------------------------------------------------------------

// What one run does, and how it ended.
struct swg__run_s {
    const char* procedure;
    GimpRunMode mode;
    gint32 image;
    gint32 drawable;
    swg_pattern_s pattern;
    swg_lines_s lines;
    GimpPDBStatusType status = GIMP_PDB_SUCCESS;
    char message[256] = "";
};

static bool swg__fail(swg__run_s* run, GimpPDBStatusType status, const char* message) {
    run->status = status;
    std::snprintf(run->message, sizeof run->message, "%s", message);
    return false;
}

static void swg__progress(void*, const char* stage, float fraction) {
    static const char* shown = nullptr;
    if (stage != shown) {
        char text[96];
        std::snprintf(text, sizeof text, "Spotweave: %s", stage);
        gimp_progress_set_text(text);
        shown = stage;
    }
    gimp_progress_update(fraction);
}

// Checks the drawable and finds the filter area. False with the reason.
static bool swg__prepare(swg__run_s* run, swg__area_s* area) {
    if (!gimp_item_is_valid(run->drawable) || !gimp_item_is_drawable(run->drawable))
        return swg__fail(run, GIMP_PDB_CALLING_ERROR, "Spotweave needs a layer or channel");
    if (gimp_item_is_group(run->drawable))
        return swg__fail(run, GIMP_PDB_EXECUTION_ERROR,
                         "Spotweave cannot filter a layer group: pick one of its layers");
    if (gimp_item_get_lock_content(run->drawable))
        return swg__fail(run, GIMP_PDB_EXECUTION_ERROR,
                         "The layer's pixels are locked: unlock them to filter it");
    if (gimp_drawable_is_indexed(run->drawable))
        return swg__fail(run, GIMP_PDB_EXECUTION_ERROR,
                         "Spotweave works on RGB and grey images, not indexed ones: "
                         "convert the image with Image > Mode > RGB first");
    if (!gimp_drawable_mask_intersect(run->drawable, &area->x, &area->y, &area->width,
                                      &area->height) ||
        area->width < 1 || area->height < 1)
        return swg__fail(run, GIMP_PDB_EXECUTION_ERROR,
                         "The selection is empty or lies outside this layer: there is "
                         "nothing to filter");
    return true;
}

// Runs the engine on picture; the result, null with run's status set.
static gr_image_s* swg__compute(swg__run_s* run, gr_image_s* picture) {
    const bool pattern = std::strcmp(run->procedure, SWG_PATTERN_PROC) == 0;
    if (pattern && run->mode == GIMP_RUN_INTERACTIVE) {
        gr_image_s* result = nullptr;
        const int code = swg_pattern_preview(picture, &result);
        if (code < 0)
            swg__fail(run, GIMP_PDB_EXECUTION_ERROR,
                      "The Spotweave preview window could not be opened (no display, no "
                      "OpenGL 3.2, or out of memory); the image is unchanged");
        else if (code == 0)
            run->status = GIMP_PDB_CANCEL;
        return result;
    }
    gimp_progress_init(pattern ? "Spotweave" : "Spotweave Lines");
    gr_image_s* result = pattern
                             ? swg_pattern_render(picture, &run->pattern, swg__progress, nullptr)
                             : swg_lines_draw(picture, &run->lines, swg__progress, nullptr);
    gimp_progress_end();
    if (!result)
        swg__fail(run, GIMP_PDB_EXECUTION_ERROR,
                  "Spotweave ran out of memory or threads; the image is unchanged");
    return result;
}

// Filters the drawable; on any failure it is left as it was.
static void swg__apply(swg__run_s* run) {
    swg__area_s area = {};
    if (!swg__prepare(run, &area))
        return;
    const bool grey = gimp_drawable_is_gray(run->drawable);
    gr_image_s* picture = swg__read(run->drawable, area, grey);
    if (!picture) {
        swg__fail(run, GIMP_PDB_EXECUTION_ERROR,
                  "Spotweave ran out of memory reading the image; it is unchanged");
        return;
    }
    gr_image_s* result = swg__compute(run, picture);
    gr_image_release(picture);
    if (!result)
        return;
    const bool written = swg__write(run->image, run->drawable, area, grey, result);
    gr_image_release(result);
    if (!written) {
        swg__fail(run, GIMP_PDB_EXECUTION_ERROR,
                  "Spotweave ran out of memory writing the result; the image is unchanged");
        return;
    }
    if (run->mode != GIMP_RUN_NONINTERACTIVE)
        gimp_displays_flush();
}

// Copies the values stored under procedure into settings when they are of its
// size; otherwise (nothing stored yet, another version's record) the defaults
// stay.
static void swg__last_values(const char* procedure, void* settings, size_t size) {
    if (gimp_get_data_size(procedure) == gint(size))
        gimp_get_data(procedure, settings);
}

// Fills the settings from the call's arguments (non-interactive) or the
// stored last values. False with the reason.
static bool swg__settings(swg__run_s* run, gint nparams, const GimpParam* param) {
    const bool pattern = std::strcmp(run->procedure, SWG_PATTERN_PROC) == 0;
    if (pattern)
        swg__last_values(SWG_PATTERN_PROC, &run->pattern, sizeof run->pattern);
    else
        swg__last_values(SWG_LINES_PROC, &run->lines, sizeof run->lines);
    if (run->mode != GIMP_RUN_NONINTERACTIVE)
        return true;

    const int expected = pattern ? swg__count(swg__pattern_args, std::end(swg__pattern_args))
                                 : swg__count(swg__lines_args, std::end(swg__lines_args));
    if (nparams != expected)
        return swg__fail(run, GIMP_PDB_CALLING_ERROR, "wrong number of arguments");
    const GimpParam* p = param + SWG_COMMON_ARGS;
    char error[160];
    if (pattern) {
        run->pattern = {p[0].data.d_int32, p[1].data.d_int32};
        if (!swg_pattern_check(&run->pattern, error, sizeof error))
            return swg__fail(run, GIMP_PDB_CALLING_ERROR, error);
    } else {
        swg_lines_s& l = run->lines;
        l = {p[0].data.d_int32, p[1].data.d_int32,        p[2].data.d_int32,
             p[3].data.d_int32, p[4].data.d_int32,        p[5].data.d_int32,
             p[6].data.d_int32, float(p[7].data.d_float), float(p[8].data.d_float)};
        if (!swg_lines_check(&l, error, sizeof error))
            return swg__fail(run, GIMP_PDB_CALLING_ERROR, error);
    }
    return true;
}

static void swg__run(const gchar* name, gint nparams, const GimpParam* param, gint* nreturn_vals,
                     GimpParam** return_vals) {
    static GimpParam values[2];
    swg__run_s run = {};
    run.procedure = std::strcmp(name, SWG_LINES_PROC) == 0 ? SWG_LINES_PROC : SWG_PATTERN_PROC;
    if (nparams >= SWG_COMMON_ARGS) {
        run.mode = GimpRunMode(param[0].data.d_int32);
        run.image = param[1].data.d_image;
        run.drawable = param[2].data.d_drawable;
        gegl_init(nullptr, nullptr);
        if (swg__settings(&run, nparams, param))
            swg__apply(&run);
    } else {
        swg__fail(&run, GIMP_PDB_CALLING_ERROR, "wrong number of arguments");
    }

    // What ran is what "repeat" runs again.
    if (run.status == GIMP_PDB_SUCCESS) {
        if (run.procedure == SWG_PATTERN_PROC)
            gimp_set_data(SWG_PATTERN_PROC, &run.pattern, sizeof run.pattern);
        else
            gimp_set_data(SWG_LINES_PROC, &run.lines, sizeof run.lines);
    }

    values[0].type = GIMP_PDB_STATUS;
    values[0].data.d_status = run.status;
    *nreturn_vals = 1;
    *return_vals = values;
    if (run.status != GIMP_PDB_SUCCESS && run.message[0]) {
        static char message[sizeof run.message];
        std::snprintf(message, sizeof message, "%s", run.message);
        values[1].type = GIMP_PDB_STRING;
        values[1].data.d_string = message;
        *nreturn_vals = 2;
    }
}

const GimpPlugInInfo PLUG_IN_INFO = {nullptr, nullptr, swg__query, swg__run};

MAIN()
