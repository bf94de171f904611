// The theme's colours, and the text measuring the controls share.

#include "ui/ui_theme.h"

#include "gr/gr_color.h"
#include "gr/gr_context.h"
#include "ui/ui_internal.h"

gr_color_t ui_theme_color_button() {
    return 0xff606060;
}

gr_color_t ui_theme_color_key() {
    return 0xfff89b18;
}

gr_color_t ui_theme_color_field() {
    return 0xff5d6773;
}

gr_color_t ui_theme_color_fill() {
    return 0xff484848;
}

gr_color_t ui_theme_color_text(int highlighted) {
    return highlighted ? 0xff0c0c0c : 0xffcecece;
}

void ui__text_measure(void* context, const char* face, float size, const char* text, float* w,
                      float* h) {
    *w = *h = 0.0f;
    if (!context)
        return;
    auto* c = static_cast<Context*>(context);
    gr_context_text_font(c, face, size);
    gr_context_text_dims(c, text, w, h);
}

gr_color_t ui__frame_color() {
    return gr_color_darker(ui_theme_color_fill(), 0.125f);
}

float ui__text_fit(float tw, float th, float max_w, float max_h) {
    float k = 1.0f;
    if (tw > max_w)
        k = max_w / tw;
    if (k * th > max_h)
        k *= max_h / (k * th);
    return k;
}
