// The preview dialog: a modal window in which the reaction-diffusion pattern
// grows live on the filter area, shown by the simulation view, with "OK" and
// "Cancel". OK takes the pattern as the result.

#include <cstdlib>
#include <cstring>

#include "app/app_log.h"
#include "app/app_resource.h"
#include "app/app_time.h"
#include "common/psdk_preview.h"
#include "rd/rd_runner.h"
#include "rd/rd_view.h"
#include "ui/ui.h"
#include "ui/ui_controls.h"
#include "ui/ui_layout.h"
#include "ui/ui_model.h"
#include "ui/ui_theme.h"
#include "ui/ui_widget.h"
#include "win/win.h"

// The dialog's state: null outside a dialog, except s_result, which OK sets.
static gr_window_s* s_window = nullptr;
static rd_s* s_rd = nullptr;
static ui_model_s* s_ui_model = nullptr;
static ui_s* s_ui = nullptr;
static uic_s* s_root = nullptr;
static gr_image_s* s_result = nullptr;
// SPOTWEAVE_FRAME_STATS: when the first frame saw the runner ready (seconds).
static float s_ready_at = -1.0f;

static bool psdk__stats() {
    const char* stats = std::getenv("SPOTWEAVE_FRAME_STATS");
    return stats && *stats && std::strcmp(stats, "0") != 0;
}

static void cb_ok_button(void* user);
static void cb_cancel_button(void* user);

// Builds the dialog when the window's context is first prepared; takes over
// the image reference given as user pointer.
static void init_cb(void* image, Context* context) {
    // The renderer keeps pointers into the font blocks, so they stay allocated.
    unsigned size = 0;
    if (void* font = app_resource_load("RobotoLight", &size))
        gr_ui_font_text(context, size, font);
    if (void* icons = app_resource_load("pixelwrenicons", &size))
        gr_ui_font_icons(context, size, icons);
    s_rd = rd_create(static_cast<gr_image_s*>(image));
    gr_image_release(static_cast<gr_image_s*>(image));
    s_ui_model = ui_model_create();
    s_ui = ui_create(s_ui_model);
    gr_window_set_ui(s_window, s_ui);

    s_root = ui_layout_push_vertical(s_ui, 10);
    ui_layout_pad(s_ui, s_root, 10, 10, 10, 10);
    if (s_rd)
        ui_add_custom(s_ui, rd_process_view_proc, s_rd);
    ui_layout_push_horizontal(s_ui, 5);
    ui_layout_weight(s_ui, 0.5f);
    ui_add_button(s_ui, "OK", cb_ok_button, nullptr);
    ui_layout_weight(s_ui, 0.5f);
    ui_add_button(s_ui, "Cancel", cb_cancel_button, nullptr);
    ui_layout_pop(s_ui);
    ui_layout_pop(s_ui);
}

static void draw_cb(void*, Context* context, int width, int height, float density) {
    if (s_rd) {
        rd_set_vis(s_rd, rd_vis_t(ui_model_get_int(s_ui_model, "vis")));
        rd_advance(s_rd);
        if (s_ready_at < 0 && rd_is_ready(s_rd) && psdk__stats())
            s_ready_at = app_time_get();
    }
    gr_debug_marker_push("draw ui");
    gr_context_draw_begin(context, nullptr, width, height, int(density));
    gr_context_clear(context, ui_theme_color_fill());
    ui_draw(s_ui, context, 0, 0, float(width), float(height));
    gr_context_draw_end(context);
    gr_debug_marker_pop();
}

// Tears the dialog down: the runner first (it waits for its threads), then the
// UI, the model and the window.
static void finish_ui() {
    if (s_rd && s_ready_at >= 0) {
        const float seconds = app_time_get() - s_ready_at;
        app_log("simulation: %u iterations in %.2f s since ready (%.1f a second)\n",
                rd_get_iterations(s_rd), seconds, rd_get_iterations(s_rd) / seconds);
    }
    s_ready_at = -1.0f;
    rd_destroy(s_rd);
    s_rd = nullptr;
    ui_destroy(s_ui);
    s_ui = nullptr;
    s_root = nullptr;
    ui_model_destroy(s_ui_model);
    s_ui_model = nullptr;
    gr_window_destroy(s_window);
    s_window = nullptr;
}

static void cb_ok_button(void*) {
    if (!s_window)
        return;
    // Before the first pattern is shown the display holds nothing to keep:
    // OK then ends without a result, as if the simulation had not run.
    s_result = s_rd && rd_get_shown(s_rd) > 0 ? rd_get_result(s_rd) : nullptr;
    gr_window_modal_finish(s_window, 1);
    finish_ui();
}

static void cb_cancel_button(void*) {
    if (!s_window)
        return;
    gr_window_modal_finish(s_window, 0);
    finish_ui();
}

int psdk_preview_dialog(gr_image_s* image, gr_image_s** result) {
    s_window = gr_window_create(640, 480, GR_WINDOW_NO_CLOSE | GR_WINDOW_NO_RESIZE);
    if (!s_window) {
        // The window said why on standard error.
        gr_image_release(image);
        return -1;
    }
    gr_window_set_title(s_window, "spot/weave");
    gr_window_set_init_cb(s_window, init_cb, image);
    gr_window_set_draw_cb(s_window, draw_cb, nullptr);
    gr_window_set_close_cb(s_window, cb_cancel_button, nullptr);
    s_result = nullptr;
    const int code = gr_window_modal_run(s_window);
    if (code == 1)
        *result = s_result;
    else
        gr_image_release(s_result);
    s_result = nullptr;
    return code == 1 ? 1 : 0;
}
