// The toolkit's gallery: every standard, selection and media control on one
// model in a window, to click through by hand and to take docs/'s screenshots.
//
//   ui_gallery [--frames] [--shots DIR NAME...]
//
// F12 saves the window as a PNG (ui_gallery_N.png here, or with --shots the
// n-th as DIR/NAME.png for the n-th name, quitting after the last); Escape or
// the close button quits. --frames prints "frame NAME x y w h" (window points)
// of the controls a script drives, once the first frame is laid out.

#define GL_GLEXT_PROTOTYPES 1
#include <GL/gl.h>
#include <GL/glext.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "app/app_resource.h"
#include "gr/gr_color.h"
#include "gr/gr_image.h"
#include "ui/ui.h"
#include "ui/ui_controls.h"
#include "ui/ui_layout.h"
#include "ui/ui_media.h"
#include "ui/ui_model.h"
#include "ui/ui_popover.h"
#include "ui/ui_select.h"
#include "ui/ui_theme.h"
#include "ui/ui_widget.h"
#include "win/win.h"

namespace {

constexpr unsigned kKeyEscape = 53, kKeyF12 = 111;

struct Gallery {
    gr_window_s* window = nullptr;
    ui_model_s* model = nullptr;
    ui_s* ui = nullptr;
    uic_s *options = nullptr, *popover = nullptr;      // the button that opens the popover, and it
    std::vector<std::pair<const char*, uic_s*>> named; // reported by --frames
    bool print_frames = false, shot_pending = false;
    std::string shot_dir;
    std::vector<std::string> shot_names;
    size_t shots = 0;
    void* fonts[2] = {nullptr, nullptr};
    gr_image_s* logo = nullptr;
    gr_image_s* thumbs[6] = {};
};

const char* kModes[] = {"Spots", "Stripes", "Maze"};
const char* kSteps[] = {"Load", "Grow", "Tune", "Save"};
const char* kChoices[] = {"Gaussian", "Binomial", "Box", "Median", "Bilateral"};
const char* kTools[] = {"Brush", "Noise", "Pan", "Zoom", "Eye", "Grid"};

void say(void* text) {
    std::printf("clicked %s\n", static_cast<const char*>(text));
    std::fflush(stdout);
}

void close_popover(void* user) {
    auto* g = static_cast<Gallery*>(user);
    if (g->popover)
        uic_remove(g->popover); // frees the content, this button included
    g->popover = nullptr;
}

// The popover's content: a second UI on the same model.
void open_popover(void* user) {
    auto* g = static_cast<Gallery*>(user);
    ui_s* content = ui_create(g->model);
    ui_layout_push_vertical(content, 6);
    ui_add_label(content, "Options", UI_LABEL_CENTER);
    ui_add_checkbox(content, "Wrap", "wrap");
    ui_slider_set_scale(ui_add_slider(content, "Amount", "amount", 0, 1), 100);
    ui_add_button(content, "Close", close_popover, g);
    ui_layout_pop(content);
    const ui_rect_s b = ui_frame_get(g->ui, g->options);
    g->popover =
        ui_popover_present(g->ui, content, UI_POPOVER_OWNS_CONTENT, b.x + 0.5f * b.width, b.y);
}

void on_hotkey(void* user, unsigned key, unsigned) {
    auto* g = static_cast<Gallery*>(user);
    if (key == kKeyF12)
        g->shot_pending = true;
    else
        gr_window_modal_finish(g->window, 0);
}

// A custom control: the model's values on the drawing helpers, and every
// glyph of the icon font.
int readout_proc(uic_s* control, int message, void* data) {
    if (message == UIC_MSG_CREATE) {
        uic_cookie_set(control, data);
        return 1;
    }
    if (message != UIC_MSG_DRAW)
        return 0;
    const auto* d = static_cast<const uic_draw_s*>(data);
    ui_model_s* m = static_cast<Gallery*>(uic_cookie_get(control))->model;
    void* c = d->context;
    const float half = 0.5f * d->width - 12, right = 0.5f * d->width + 4;
    gr_ui_well(c, "Model", 0, 0, d->width, d->height);
    char value[64];
    float y = 38;
    for (const char* key : {"amount", "size", "mode", "step", "choice", "tool"}) {
        std::snprintf(value, sizeof value, "%.3f", double(ui_model_get_float(m, key)));
        gr_ui_stat(c, key, value, 8, y, half, 22);
        y += 24;
    }
    std::snprintf(value, sizeof value, "%s / %s", ui_model_get_bool(m, "wrap") ? "on" : "off",
                  ui_model_get_bool(m, "invert") ? "on" : "off");
    gr_ui_stat(c, "wrap / invert", value, right, 38, half, 22);
    std::snprintf(value, sizeof value, "%d %d %d", ui_model_get_int(m, "col.r"),
                  ui_model_get_int(m, "col.g"), ui_model_get_int(m, "col.b"));
    gr_ui_stat(c, "colour", value, right, 62, half, 22);
    gr_ui_button(c, "Helper", right, 90, half, 28, ui_theme_color_button(), 0);
    gr_ui_checkbox(c, right, 126, 0, 20, ui_model_get_bool(m, "wrap"), 0);
    gr_ui_slider(c, ui_model_get_float(m, "amount"), right + 30, 126, half - 30, 21, 1);
    if (d->height - y < 48)
        return 1;
    gr_ui_tabs(c, 8, y + 8, d->width - 16, d->height - y - 16, 3, kModes,
               ui_model_get_int(m, "mode"), -1);
    auto* context = static_cast<Context*>(c);
    gr_context_text_font(context, UI_FONT_ICON, 20);
    gr_context_fill_color(context, ui_theme_color_text(0));
    const char* glyphs = "ABCDEFGHIJKLMNabcdefghijklmnopqrstuvwxyz";
    for (int i = 0; glyphs[i]; i++) {
        const char glyph[2] = {glyphs[i], 0};
        gr_context_text(context, glyph, 20 + 22 * float(i % 20), y + 46 + 26 * float(i / 20));
    }
    return 1;
}

gr_image_s* swatch_image(float hue) {
    gr_image_s* image = gr_image_create(48, 48);
    uint32_t* px = gr_image_pixels_lock(image);
    for (int i = 0; i < 48 * 48; i++)
        px[i] = gr_color_from_hsv(hue + 0.002f * float(i % 48), 0.7f,
                                  0.5f + 0.5f * float(47 - i / 48) / 47.0f);
    gr_image_pixels_unlock(image, true);
    return image;
}

void build(Gallery* g) {
    ui_s* ui = g->ui;
    ui_model_s* m = g->model;
    ui_model_set_float(m, "amount", 0.35f);
    ui_model_set_float(m, "size", 12);
    ui_model_set_bool(m, "wrap", true);
    ui_model_set_int(m, "choice", 1);
    ui_model_set_int(m, "tool", 2);
    ui_model_set_int(m, "step", 1);
    ui_model_set_int(m, "col.r", 248);
    ui_model_set_int(m, "col.g", 155);
    ui_model_set_int(m, "col.b", 24);
    ui_model_set_ptr(m, "img", g->logo);

    ui_layout_pad(ui, ui_layout_push_horizontal(ui, 16), 12, 12, 12, 12);
    ui_layout_push_vertical(ui, 8);
    ui_add_label(ui, "spot/weave toolkit gallery", UI_LABEL_CENTER);
    ui_layout_push_horizontal(ui, 8);
    g->named.push_back({"ok", ui_add_button(ui, "OK", say, (void*)"OK")});
    ui_button_icon(ui, ui_add_button(ui, "Play", say, (void*)"Play"), UI_ICON_PLAY);
    ui_button_icon(ui, ui_add_button(ui, "", say, (void*)"Settings"), UI_ICON_GEAR);
    ui_button_side(ui, ui_add_button(ui, "Export", say, (void*)"Export"), say,
                   (void*)"Export menu");
    ui_layout_pop(ui);
    g->named.push_back(
        {"amount", ui_slider_set_scale(ui_add_slider(ui, "Amount", "amount", 0, 1), 100)});
    ui_slider_set_exp(ui_add_slider(ui, "Size", "size", 1, 64), 2);
    ui_add_checkbox(ui, "Wrap", "wrap");
    ui_add_checkbox(ui, "Invert", "invert");
    ui_add_segment(ui, 3, kModes, "mode");
    ui_add_wizard(ui, 4, kSteps, "step");
    ui_layout_dims(ui, ui_add_progress(ui, 0, "amount"), 1, 6);
    ui_add_list(ui, 5, kChoices, "choice");
    // At the bottom, so that the popover (which opens above) has room.
    ui_layout_push_horizontal(ui, 8);
    g->options = ui_add_button(ui, "Options", open_popover, g);
    g->named.push_back({"options", g->options});
    ui_layout_weight(ui, 2);
    ui_add_label(ui, "F12 saves a screenshot", 0);
    ui_layout_pop(ui);
    ui_layout_pop(ui);

    ui_layout_push_vertical(ui, 8);
    ui_add_icon_set(ui, 4, kTools, nullptr, "tool", UI_ICON_SET_ROW);
    ui_add_icon_set(ui, 6, kTools, g->thumbs, "tool", 0);
    ui_layout_dims(ui, ui_layout_push_horizontal(ui, 12), 1, 220);
    ui_add_image(ui, "img", UI_IMAGE_FIELD | UI_IMAGE_SHADOW);
    uic_s* well = ui_add_color(ui, "col");
    ui_layout_dims(ui, well, 220, 220);
    g->named.push_back({"well", well});
    ui_layout_pop(ui);
    ui_add_custom(ui, readout_proc, g);
    ui_layout_pop(ui);
    ui_layout_pop(ui);
    ui_hotkey_register(ui, kKeyF12, 0, on_hotkey, g);
    ui_hotkey_register(ui, kKeyEscape, 0, on_hotkey, g);
}

void init_cb(void* user, Context* context) {
    auto* g = static_cast<Gallery*>(user);
    unsigned size = 0;
    g->fonts[0] = app_resource_load("RobotoLight", &size);
    gr_ui_font_text(context, size, g->fonts[0]);
    g->fonts[1] = app_resource_load("pixelwrenicons", &size);
    gr_ui_font_icons(context, size, g->fonts[1]);
    build(g);
    gr_window_set_ui(g->window, g->ui);
}

// Reads the frame just drawn (before the swap) and writes it as an opaque PNG.
bool save_frame(int width, int height, const std::string& path) {
    gr_image_s* image = gr_image_create(width, height);
    if (!image)
        return false;
    uint32_t* px = gr_image_pixels_lock(image);
    glPixelStorei(GL_PACK_ALIGNMENT, 4);
    glReadPixels(0, 0, width, height, GL_BGRA, GL_UNSIGNED_BYTE, px);
    for (int i = 0; i < width * height; i++)
        px[i] |= 0xff000000u;
    gr_image_pixels_unlock(image, true);
    gr_image_flip_vertical(image);
    const bool ok = gr_image_save_file(image, path.c_str());
    gr_image_release(image);
    return ok;
}

void draw_cb(void* user, Context* context, int width, int height, float density) {
    auto* g = static_cast<Gallery*>(user);
    const int d = density < 1 ? 1 : int(density);
    gr_context_draw_begin(context, nullptr, width, height, d);
    gr_context_clear(context, ui_theme_color_fill());
    ui_draw(g->ui, context, 0, 0, float(width), float(height));
    gr_context_draw_end(context);
    if (g->print_frames) {
        for (const auto& [name, control] : g->named) {
            const ui_rect_s r = ui_frame_get(g->ui, control);
            std::printf("frame %s %g %g %g %g\n", name, double(r.x), double(r.y), double(r.width),
                        double(r.height));
        }
        std::fflush(stdout);
        g->print_frames = false;
    }
    if (!g->shot_pending)
        return;
    g->shot_pending = false;
    const bool named = !g->shot_names.empty();
    if (named && g->shots >= g->shot_names.size())
        return;
    const std::string path = named ? g->shot_dir + "/" + g->shot_names[g->shots] + ".png"
                                   : "ui_gallery_" + std::to_string(g->shots + 1) + ".png";
    g->shots++;
    const bool ok = save_frame(width * d, height * d, path);
    std::printf("%s %s\n", ok ? "shot" : "could not save", path.c_str());
    std::fflush(stdout);
    if (named && g->shots == g->shot_names.size())
        gr_window_modal_finish(g->window, 0);
}

void close_cb(void* user) {
    gr_window_modal_finish(static_cast<Gallery*>(user)->window, 0);
}

} // namespace

int main(int argc, char** argv) {
    Gallery g;
    for (int i = 1; i < argc; i++) {
        if (std::strcmp(argv[i], "--frames") == 0) {
            g.print_frames = true;
        } else if (std::strcmp(argv[i], "--shots") == 0 && i + 2 < argc) {
            g.shot_dir = argv[++i];
            while (i + 1 < argc && argv[i + 1][0] != '-')
                g.shot_names.push_back(argv[++i]);
        } else {
            std::fprintf(stderr, "usage: ui_gallery [--frames] [--shots DIR NAME...]\n");
            return 2;
        }
    }
    g.window = gr_window_create(1000, 900, 0);
    if (!g.window)
        return 1;
    gr_window_set_title(g.window, "spot/weave toolkit gallery");
    unsigned size = 0;
    void* png = app_resource_load("icon256", &size);
    g.logo = gr_image_create_data(int32_t(size), png);
    std::free(png);
    for (int i = 0; i < 6; i++)
        g.thumbs[i] = swatch_image(float(i) / 6.0f);
    g.model = ui_model_create();
    g.ui = ui_create(g.model);
    gr_window_set_init_cb(g.window, init_cb, &g);
    gr_window_set_draw_cb(g.window, draw_cb, &g);
    gr_window_set_close_cb(g.window, close_cb, &g);
    const int code = gr_window_modal_run(g.window);
    gr_window_destroy(g.window); // the render context goes before the fonts it uses
    ui_destroy(g.ui);
    ui_model_destroy(g.model);
    gr_image_release(g.logo);
    for (gr_image_s* t : g.thumbs)
        gr_image_release(t);
    std::free(g.fonts[0]);
    std::free(g.fonts[1]);
    return code;
}
