#include "rd/rd_view.h"

#include <cmath>
#include <cstdio>

#include "app/app_log.h"
#include "app/app_main.h"
#include "app/app_panel.h"
#include "gr/gr_color.h"
#include "gr/gr_context.h"
#include "rd/rd_internal.h"
#include "ui/ui_theme.h"
#include "ui/ui_widget.h"

namespace {

struct rd_view_s {
    rd_s* rd;
    zoomer_s zoomer;
};

constexpr unsigned kKeyS = 1, kKeyP = 35, kKeySpace = 49;

// Larger content may be pushed at most a quarter of the control's larger side
// past its edge; narrower content stays centred.
void zoomer__clamp(zoomer_s* z, float W, float H) {
    const float sw = z->zoom * z->content_w, sh = z->zoom * z->content_h;
    const float m = (W > H ? W : H) * 0.25f;
    auto clamp = [m](float* pan, float s, float side) {
        if (s < side) {
            *pan = 0.0f;
        } else if (s > side) {
            const float lim = (s - side) * 0.5f + m;
            if (std::fabs(*pan) > lim)
                *pan = std::signbit(*pan) ? -lim : lim;
        }
    };
    clamp(&z->pan_x, sw, W);
    clamp(&z->pan_y, sh, H);
}

// The picture shown (and saved) for a mode, or null.
gr_image_s* rd__picture(rd_s* rd, int vis, bool saving) {
    switch (vis) {
    case RD_VIS_ETF:
        return rd_get_flow(rd);
    case RD_VIS_SOURCE:
        return rd_get_source(rd);
    case RD_VIS_SCALES:
        return nullptr;
    case RD_VIS_SIM:
        return rd_get_display(rd);
    default:
        return saving ? rd_get_display(rd) : nullptr;
    }
}

// Runs from the main queue, outside the window's lock, so frames go on while
// the panel is open; it owns a copy of the picture taken when S was pressed.
void rd__save_job(void* user) {
    auto* picture = static_cast<gr_image_s*>(user);
    char path[256];
    if (app_get_image_save_path_remembered("Save", sizeof path, path) &&
        !gr_image_save_file(picture, path))
        app_log("spotweave: could not save %s\n", path);
    gr_image_release(picture);
}

void rd__save(rd_view_s* v) {
    gr_image_s* picture = rd__picture(v->rd, rd_get_vis(v->rd), true);
    if (!picture)
        return;
    if (gr_image_s* copy = gr_image_duplicate(picture))
        app_main_post(rd__save_job, copy, nullptr);
}

void rd__draw(rd_view_s* v, const uic_draw_s* d) {
    Context* c = static_cast<Context*>(d->context);
    rd_s* rd = v->rd;
    zoomer_s* z = &v->zoomer;
    gr_context_stroke_color(c, gr_color_darker(ui_theme_color_fill(), 0.125f));
    gr_context_fill_color(c, 0xFF282828);
    gr_context_draw_rect(c, 0, 0, d->width, d->height);

    int32_t cw = 0, ch = 0;
    rd_get_size(rd, &cw, &ch);
    z->content_w = float(cw);
    z->content_h = float(ch);
    zoomer_view_proc(z, nullptr, UIC_MSG_DRAW, const_cast<uic_draw_s*>(d));

    gr_context_xpush(c);
    gr_context_scissor(c, 0, 0, int(d->width), int(d->height));
    if (rd_is_ready(rd)) {
        char count[32];
        std::snprintf(count, sizeof count, "%d", int(rd_get_shown(rd)));
        gr_context_fill_color(c, 0x40FFFFFF);
        gr_context_text(c, count, 5, 5);
        gr_ui_box_shadow(c, z->x, z->y, z->w, z->h);
        if (gr_image_s* picture = rd__picture(rd, rd_get_vis(rd), false))
            gr_context_draw_image(c, picture, int(z->x), int(z->y), int(z->w), int(z->h));
    } else {
        char text[64];
        std::snprintf(text, sizeof text, "Preparing %d%%",
                      rd__preparing_percent(rd_get_progress(rd)));
        gr_context_fill_color(c, 0xFFFFFFFF);
        float tw = 0, th = 0;
        gr_context_text_dims(c, text, &tw, &th);
        gr_context_text(c, text, z->x + (z->w - tw) * 0.5f, z->y + (z->h - th) * 0.5f);
    }
    gr_context_xpop(c);
    if (rd_is_paused(rd)) {
        // The restored fill is the background's: the label needs its own.
        gr_context_fill_color(c, 0xFFFFFFFF);
        gr_context_text(c, "Paused", 0, 0);
    }
}

} // namespace

int rd__preparing_percent(float progress) {
    return int(std::roundf(progress * 100));
}

zoomer_s* rd__view_zoomer(uic_s* control) {
    return &static_cast<rd_view_s*>(uic_cookie_get(control))->zoomer;
}

bool zoomer_view_proc(zoomer_s* z, uic_s* control, int message, void* data) {
    switch (message) {
    case UIC_MSG_CREATE:
        z->zoom = 1.0f;
        z->pan_x = z->pan_y = 0.0f;
        return true;
    case UIC_MSG_MAGNIFY: {
        const auto* g = static_cast<const uic_gesture_s*>(data);
        const float W = uic_get_width(control), H = uic_get_height(control);
        const float cx = g->x - W * 0.5f, cy = g->y - H * 0.5f;
        float f = g->amount + 1.0f;
        if (z->zoom * f > RD_ZOOM_MAX)
            f = RD_ZOOM_MAX / z->zoom;
        else if (!(z->zoom * f >= RD_ZOOM_MIN))
            f = RD_ZOOM_MIN / z->zoom;
        z->pan_x = (z->pan_x - cx) * f + cx;
        z->pan_y = (z->pan_y - cy) * f + cy;
        z->zoom *= f;
        zoomer__clamp(z, W, H);
        return true;
    }
    case UIC_MSG_SCROLL: {
        const auto* s = static_cast<const uic_scroll_s*>(data);
        z->pan_x += s->dx;
        z->pan_y += s->dy;
        zoomer__clamp(z, uic_get_width(control), uic_get_height(control));
        return true;
    }
    case UIC_MSG_DRAW: {
        const auto* d = static_cast<const uic_draw_s*>(data);
        z->w = z->zoom * z->content_w;
        z->h = z->zoom * z->content_h;
        z->x = (d->width - z->w) * 0.5f + z->pan_x;
        z->y = (d->height - z->h) * 0.5f + z->pan_y;
        return true;
    }
    default:
        return false;
    }
}

int rd_process_view_proc(uic_s* control, int message, void* data) {
    auto* v = static_cast<rd_view_s*>(uic_cookie_get(control));
    switch (message) {
    case UIC_MSG_CREATE:
        v = new rd_view_s{static_cast<rd_s*>(data), {}};
        zoomer_view_proc(&v->zoomer, control, UIC_MSG_CREATE, nullptr);
        uic_cookie_set(control, v);
        return 1;
    case UIC_MSG_DESTROY:
        delete v;
        uic_cookie_set(control, nullptr);
        return 1;
    case UIC_MSG_KEY_DOWN: {
        const unsigned key = static_cast<const uic_key_s*>(data)->key;
        std::printf("key %d\n", int(key));
        std::fflush(stdout);
        if (key == kKeyS)
            rd__save(v);
        else if (key == kKeySpace)
            rd_randomize(v->rd); // refused before the runner is ready
        else if (key == kKeyP)
            rd_set_paused(v->rd, !rd_is_paused(v->rd));
        return zoomer_view_proc(&v->zoomer, control, message, data);
    }
    case UIC_MSG_MOUSE_DOWN:
        uic_mouse_capture(control);
        return 1;
    case UIC_MSG_MOUSE_MOVE: {
        if (!rd_is_ready(v->rd))
            return zoomer_view_proc(&v->zoomer, control, message, data);
        const auto* m = static_cast<const uic_mouse_s*>(data);
        const zoomer_s& z = v->zoomer;
        if (!(z.w > 0 && z.h > 0))
            return 0;
        const int gx = int((m->x - z.x) / z.w * z.content_w);
        const int gy = int((m->y - z.y) / z.h * z.content_h);
        if (!uic_mouse_captured(control))
            return 0;
        rd_paint_noise(v->rd, gx, gy);
        return 1;
    }
    case UIC_MSG_MOUSE_UP:
        uic_mouse_release(control);
        return 1;
    case UIC_MSG_MEASURE: {
        auto* m = static_cast<uic_measure_s*>(data);
        m->width = m->height = -1.0f;
        return 1;
    }
    case UIC_MSG_DRAW:
        rd__draw(v, static_cast<const uic_draw_s*>(data));
        return 1;
    default:
        return zoomer_view_proc(&v->zoomer, control, message, data);
    }
}
