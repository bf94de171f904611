// Widget drawing straight through the vector renderer: fonts, labels, shadows,
// buttons, check boxes, sliders, statistic rows, tabs, wells, and the colour
// well's face. The only file of ui/ that speaks NanoVG.

#include "ui/ui_widget.h"

#include <cmath>
#include <utility>

#include "gr/gr_color.h"
#include "gr/gr_context.h"
#include "nanovg.h"
#include "ui/ui_internal.h"
#include "ui/ui_theme.h"

namespace {

enum : int {
    ALIGN_LEFT_MIDDLE = NVG_ALIGN_LEFT | NVG_ALIGN_MIDDLE,   // 17
    ALIGN_RIGHT_MIDDLE = NVG_ALIGN_RIGHT | NVG_ALIGN_MIDDLE, // 20
};

// Control points of a quarter circle lie this fraction of the radius back
// from the corner.
constexpr float kCornerBack = 0.4477152f;

NVGcontext* vg_of(void* context) {
    return gr__context_get(static_cast<Context*>(context));
}

NVGcolor rgba(int r, int g, int b, int a) {
    return nvgRGBA((unsigned char)r, (unsigned char)g, (unsigned char)b, (unsigned char)a);
}

NVGcolor from_word(gr_color_t c) {
    return rgba((c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF, c >> 24);
}

float text_width(NVGcontext* vg, const char* text) {
    float bounds[4] = {0, 0, 0, 0};
    nvgTextBounds(vg, 0.0f, 0.0f, text, nullptr, bounds);
    return bounds[2] - bounds[0];
}

// Text drawn twice, a dark copy one point below the light one.
void embossed_text(NVGcontext* vg, const char* text, float x, float y, int alpha) {
    nvgFillColor(vg, rgba(0, 0, 0, alpha));
    nvgText(vg, x, y + 1.0f, text, nullptr);
    nvgFillColor(vg, rgba(255, 255, 255, alpha));
    nvgText(vg, x, y, text, nullptr);
}

// The text font at size, left-aligned and centred vertically.
void text_face(NVGcontext* vg, float size) {
    nvgFontSize(vg, size);
    nvgFontFace(vg, UI_FONT_TEXT);
    nvgTextAlign(vg, ALIGN_LEFT_MIDDLE);
}

// Begins a path of the body of a framed box: the rectangle one point inside
// the box, rounded by r.
void inset_body(NVGcontext* vg, float x, float y, float w, float h, float r) {
    nvgBeginPath(vg);
    nvgRoundedRect(vg, x + 1, y + 1, w - 2, h - 2, r);
}

// The faint dark outline of a framed box, half a point inside it, rounded by r.
void inset_outline(NVGcontext* vg, float x, float y, float w, float h, float r) {
    nvgBeginPath(vg);
    nvgRoundedRect(vg, x + 0.5f, y + 0.5f, w - 1, h - 1, r);
    nvgStrokeColor(vg, rgba(0, 0, 0, 48));
    nvgStroke(vg);
}

// The gradient body shared by the well and the tab strip.
void well_frame(NVGcontext* vg, float x, float y, float w, float h) {
    NVGpaint paint =
        nvgLinearGradient(vg, x, y, x, y + h, rgba(48, 48, 48, 128), rgba(65, 65, 65, 128));
    inset_body(vg, x, y, w, h, 3);
    nvgFillPaint(vg, paint);
    nvgFill(vg);
}

// A 30-point strip from left to right along the top edge, with the top-left
// and top-right corners rounded by 4 when asked.
void title_strip(NVGcontext* vg, float left, float right, float y, bool round_left,
                 bool round_right) {
    const float back = 4.0f * kCornerBack;
    nvgBeginPath(vg);
    nvgMoveTo(vg, left, y + 30);
    if (round_left) {
        nvgLineTo(vg, left, y + 4);
        nvgBezierTo(vg, left, y + back, left + back, y, left + 4, y);
    } else {
        nvgLineTo(vg, left, y);
    }
    if (round_right) {
        nvgLineTo(vg, right - 4, y);
        nvgBezierTo(vg, right - back, y, right, y + back, right, y + 4);
    } else {
        nvgLineTo(vg, right, y);
    }
    nvgLineTo(vg, right, y + 30);
    nvgClosePath(vg);
}

} // namespace

// ---- fonts ------------------------------------------------------------------------------

int gr_ui_font_text(void* context, unsigned size, void* data) {
    return nvgCreateFontMem(vg_of(context), UI_FONT_TEXT, static_cast<unsigned char*>(data),
                            int(size), 0);
}

int gr_ui_font_icons(void* context, unsigned size, void* data) {
    return nvgCreateFontMem(vg_of(context), UI_FONT_ICON, static_cast<unsigned char*>(data),
                            int(size), 0);
}

// ---- widgets ----------------------------------------------------------------------------

void gr_ui_label(void* context, const char* text, float x, float y, float, float h) {
    NVGcontext* vg = vg_of(context);
    nvgSave(vg);
    text_face(vg, 16.0f);
    nvgFillColor(vg, rgba(255, 255, 255, 160));
    nvgText(vg, x + 8, y + 0.5f * h, text, nullptr);
    nvgRestore(vg);
}

void gr_ui_box_shadow(void* context, float x, float y, float w, float h) {
    NVGcontext* vg = vg_of(context);
    NVGpaint paint =
        nvgBoxGradient(vg, x, y + 2, w, h, 4, 10, rgba(0, 0, 0, 128), rgba(0, 0, 0, 0));
    nvgBeginPath(vg);
    nvgRect(vg, x - 10, y - 10, w + 20, h + 30);
    nvgRoundedRect(vg, x, y, w, h, 2);
    nvgPathWinding(vg, NVG_HOLE);
    nvgFillPaint(vg, paint);
    nvgFill(vg);
}

void gr_ui_arrow_box(void* context, float x, float y, float w, float h, float arrow) {
    NVGcontext* vg = vg_of(context);
    nvgBeginPath(vg);
    nvgMoveTo(vg, x, y);
    nvgLineTo(vg, x + w, y);
    nvgLineTo(vg, x + w + arrow, y + 0.5f * h);
    nvgLineTo(vg, x + w, y + h);
    nvgLineTo(vg, x, y + h);
    nvgStrokeWidth(vg, 1.0f);
    nvgStroke(vg);
    nvgFill(vg);
}

void gr_ui_button(void* context, const char* text, float x, float y, float w, float h,
                  unsigned color, int pressed) {
    NVGcontext* vg = vg_of(context);
    const int a = color == 0 ? 16 : 32;
    NVGcolor top = rgba(255, 255, 255, a), bottom = rgba(0, 0, 0, a);
    if (pressed)
        std::swap(top, bottom);
    NVGpaint paint = nvgLinearGradient(vg, x, y, x, y + h, top, bottom);
    inset_body(vg, x, y, w, h, 3);
    if (color != 0) {
        nvgFillColor(vg, from_word(color));
        nvgFill(vg);
    }
    nvgFillPaint(vg, paint);
    nvgFill(vg);
    inset_outline(vg, x, y, w, h, 3.5f);

    nvgFontSize(vg, 20.0f);
    nvgFontFace(vg, UI_FONT_TEXT);
    const float tw = text_width(vg, text);
    nvgTextAlign(vg, ALIGN_LEFT_MIDDLE);
    nvgFillColor(vg, rgba(0, 0, 0, 160));
    nvgText(vg, x + 0.5f * (w - tw), y + 0.5f * h - 1, text, nullptr);
    nvgFillColor(vg, rgba(255, 255, 255, 160));
    nvgText(vg, x + 0.5f * (w - tw), y + 0.5f * h, text, nullptr);
}

void gr_ui_checkbox(void* context, float x, float y, float, float h, int checked, int) {
    NVGcontext* vg = vg_of(context);
    nvgSave(vg);
    const float half = 0.5f * h;
    const float by = y - (half - std::trunc(half));
    NVGpaint paint =
        nvgBoxGradient(vg, x, by + 1, h, h, 3, 3, rgba(0, 0, 0, 32), rgba(0, 0, 0, 92));
    nvgBeginPath(vg);
    nvgRoundedRect(vg, x, by, h, h, 3);
    nvgFillPaint(vg, paint);
    nvgFill(vg);
    if (checked) {
        nvgStrokeWidth(vg, 3.0f);
        nvgStrokeColor(vg, rgba(42, 42, 42, 255));
        nvgBeginPath(vg);
        nvgMoveTo(vg, x + 6, y + 6);
        nvgLineTo(vg, x + h - 6, y + h - 6);
        nvgMoveTo(vg, x + 6, y + h - 6);
        nvgLineTo(vg, x + h - 6, y + 6);
        nvgStroke(vg);
    }
    nvgRestore(vg);
}

void gr_ui_slider(void* context, float pos, float x, float y, float w, float h, int active) {
    NVGcontext* vg = vg_of(context);
    nvgSave(vg);
    const float r = std::trunc(0.5f * h), cy = y + r;

    NVGpaint slot =
        nvgBoxGradient(vg, x, y + 1, w, 2 * r, 4, 4, rgba(0, 0, 0, 32), rgba(0, 0, 0, 64));
    nvgBeginPath(vg);
    nvgRoundedRect(vg, x, y, w, 2 * r, r);
    nvgFillPaint(vg, slot);
    nvgFill(vg);

    const float kx = x + r + std::floor((w - 2 * r) * pos);
    NVGpaint shadow =
        nvgRadialGradient(vg, kx, cy + 1, r - 3, r + 3, rgba(0, 0, 0, 64), rgba(0, 0, 0, 0));
    nvgBeginPath(vg);
    nvgRect(vg, kx - r - 5, y - 5, 2 * r + 10, 2 * r + 13);
    nvgCircle(vg, kx, cy, r);
    nvgPathWinding(vg, NVG_HOLE);
    nvgFillPaint(vg, shadow);
    nvgFill(vg);

    nvgBeginPath(vg);
    nvgCircle(vg, kx, cy, r - 1);
    nvgFillColor(vg, active ? rgba(56, 56, 56, 128) : rgba(37, 37, 37, 128));
    nvgFill(vg);
    nvgFillPaint(vg, nvgLinearGradient(vg, kx, cy - r, kx, cy + r, rgba(255, 255, 255, 16),
                                       rgba(0, 0, 0, 16)));
    nvgFill(vg);

    nvgBeginPath(vg);
    nvgCircle(vg, kx, cy, r - 0.5f);
    nvgStrokeWidth(vg, 1.0f);
    nvgStrokeColor(vg, rgba(0, 0, 0, 32));
    nvgStroke(vg);
    nvgRestore(vg);
}

void gr_ui_stat(void* context, const char* label, const char* value, float x, float y, float w,
                float h) {
    NVGcontext* vg = vg_of(context);
    inset_body(vg, x, y, w, h, 1);
    nvgFillColor(vg, rgba(37, 37, 37, 128));
    nvgFill(vg);
    inset_outline(vg, x, y, w, h, 1.5f);
    text_face(vg, 16.0f);
    nvgFillColor(vg, rgba(255, 255, 255, 160));
    nvgText(vg, x + 8, y + 0.5f * h, label, nullptr);
    nvgTextAlign(vg, ALIGN_RIGHT_MIDDLE);
    nvgText(vg, x + w - 8, y + 0.5f * h, value, nullptr);
}

void gr_ui_tabs(void* context, float x, float y, float w, float h, int count, const char** labels,
                int selected, int highlighted) {
    NVGcontext* vg = vg_of(context);
    well_frame(vg, x, y, w, h);
    text_face(vg, 18.0f);
    for (int i = 0; i < count; i++) {
        const float left = x + float(i) * w / float(count);
        const float right = i == count - 1 ? x + w : left + w / float(count) - 1;
        if (i != selected) {
            title_strip(vg, left, right, y, i == 0, i == count - 1);
            nvgFillColor(vg, i == highlighted ? rgba(56, 56, 56, 128) : rgba(37, 37, 37, 128));
            nvgFill(vg);
        }
        const float tw = text_width(vg, labels[i]);
        embossed_text(vg, labels[i], 0.5f * (left + right - tw), y + 15, 192);
    }
    inset_outline(vg, x, y, w, h, 3.5f);
}

void gr_ui_well(void* context, const char* title, float x, float y, float w, float h) {
    NVGcontext* vg = vg_of(context);
    well_frame(vg, x, y, w, h);
    title_strip(vg, x, x + w, y, true, true);
    nvgFillColor(vg, rgba(37, 37, 37, 128));
    nvgFill(vg);
    inset_outline(vg, x, y, w, h, 3.5f);
    text_face(vg, 18.0f);
    embossed_text(vg, title, x + 0.5f * (w - text_width(vg, title)), y + 15, 192);
}

// ---- the colour well's face ---------------------------------------------------------------

// Hue h sits at the angle 2 pi h counter-clockwise from the positive x axis,
// as the well picks it; the renderer's angles run clockwise (y is downward).
void ui__draw_color_wheel(void* context, float w, float h, float r, float hue, float sat, float val,
                          gr_color_t stored) {
    NVGcontext* vg = vg_of(context);
    const float cx = 0.5f * w, cy = 0.5f * h, m = std::fmin(w, h);
    const float outer = 0.5f * m, inner = 0.5f * m - 30.0f, mid = 0.5f * (outer + inner);
    const float two_pi = 2.0f * NVG_PI;
    nvgSave(vg);

    // The ring: six segments, each a gradient between the hues of its ends,
    // overlapping by half a point to hide the seams.
    const float eps = 0.5f / outer;
    for (int i = 0; i < 6; i++) {
        const float h0 = float(i) / 6.0f, h1 = float(i + 1) / 6.0f;
        const float a0 = -h0 * two_pi + eps, a1 = -h1 * two_pi - eps;
        nvgBeginPath(vg);
        nvgArc(vg, cx, cy, outer, a0, a1, NVG_CCW);
        nvgArc(vg, cx, cy, inner, a1, a0, NVG_CW);
        nvgClosePath(vg);
        NVGpaint paint = nvgLinearGradient(
            vg, cx + std::cos(a0) * mid, cy + std::sin(a0) * mid, cx + std::cos(a1) * mid,
            cy + std::sin(a1) * mid, nvgHSLA(h0, 1.0f, 0.55f, 255), nvgHSLA(h1, 1.0f, 0.55f, 255));
        nvgFillPaint(vg, paint);
        nvgFill(vg);
    }

    // The square: white to the pure hue left to right (saturation), clear to
    // black top to bottom (value), so every point shows its own colour.
    const float sx = cx - r, sy = cy - r, side = 2.0f * r;
    if (side > 0.0f) {
        nvgBeginPath(vg);
        nvgRect(vg, sx, sy, side, side);
        nvgFillColor(vg, from_word(gr_color_from_hsv(hue, 1.0f, 1.0f)));
        nvgFill(vg);
        nvgFillPaint(vg, nvgLinearGradient(vg, sx, sy, sx + side, sy, rgba(255, 255, 255, 255),
                                           rgba(255, 255, 255, 0)));
        nvgFill(vg);
        nvgFillPaint(
            vg, nvgLinearGradient(vg, sx, sy, sx, sy + side, rgba(0, 0, 0, 0), rgba(0, 0, 0, 255)));
        nvgFill(vg);
    }

    // Markers: a ring around the chosen hue and around the chosen point of
    // the square, each white over a dark halo so it shows on any colour.
    const float ha = -hue * two_pi;
    const float markers[2][2] = {{cx + std::cos(ha) * mid, cy + std::sin(ha) * mid},
                                 {sx + sat * side, sy + (1.0f - val) * side}};
    for (const auto& p : markers) {
        nvgBeginPath(vg);
        nvgCircle(vg, p[0], p[1], 6.0f);
        nvgStrokeWidth(vg, 3.0f);
        nvgStrokeColor(vg, rgba(0, 0, 0, 128));
        nvgStroke(vg);
        nvgStrokeWidth(vg, 1.5f);
        nvgStrokeColor(vg, rgba(255, 255, 255, 255));
        nvgStroke(vg);
    }

    // The stored colour's swatch in the top-right corner.
    nvgBeginPath(vg);
    nvgCircle(vg, 0.925f * w, 0.075f * w, 0.075f * w - 1.0f);
    nvgFillColor(vg, from_word(stored | 0xff000000));
    nvgFill(vg);
    nvgStrokeWidth(vg, 1.0f);
    nvgStrokeColor(vg, from_word(ui__frame_color()));
    nvgStroke(vg);
    nvgRestore(vg);
}
