// Resampling to an exact size or to a longest side, through stb_image_resize.

#include <algorithm>
#include <cmath>

#include "gr/gr_filter.h"

#include "stb_image_resize.h"

// Works out the target size; false when it cannot be represented.
static bool gr__resize_target(uint32_t sw, uint32_t sh, uint32_t width, uint32_t height,
                              uint32_t* tw, uint32_t* th) {
    if (height != 0) {
        *tw = width;
        *th = height;
    } else if (sw == 0 || sh == 0 || width == 0) {
        *tw = 0;
        *th = 0;
    } else {
        const float s = float(width) / float(std::max(sw, sh));
        const float fw = std::round(float(sw) * s);
        const float fh = std::round(float(sh) * s);
        if (!(fw <= float(GR_FILTER_RESIZE_MAX_SIDE)) || !(fh <= float(GR_FILTER_RESIZE_MAX_SIDE)))
            return false;
        // A thin strip keeps one pixel across rather than vanishing.
        *tw = std::max(uint32_t(fw), 1u);
        *th = std::max(uint32_t(fh), 1u);
    }
    return *tw <= GR_FILTER_RESIZE_MAX_SIDE && *th <= GR_FILTER_RESIZE_MAX_SIDE &&
           uint64_t(*tw) * *th <= UINT32_MAX;
}

gr_image_s* gr_filter_resize(gr_image_s* image, uint32_t width, uint32_t height) {
    const uint32_t sw = gr_image_get_width(image);
    const uint32_t sh = gr_image_get_height(image);
    uint32_t tw = 0, th = 0;
    if (sw > GR_FILTER_RESIZE_MAX_SIDE || sh > GR_FILTER_RESIZE_MAX_SIDE ||
        !gr__resize_target(sw, sh, width, height, &tw, &th))
        return nullptr;
    if (sw == 0 || sh == 0)
        return gr_image_create(0, 0);
    if (tw == 0 || th == 0)
        return gr_image_create(int32_t(tw), int32_t(th));

    gr_image_s* out = gr_image_create(int32_t(tw), int32_t(th));
    if (!out)
        return nullptr;
    const uint32_t* src = gr_image_pixels_lock(image);
    uint32_t* dst = gr_image_pixels_lock(out);
    // Alpha is resampled as a plain channel (no premultiplication), in linear
    // space; the 0xAARRGGBB words are four bytes each, so channel order does
    // not matter to a filter that treats all four alike.
    const int ok = stbir_resize(src, int(sw), int(sh), int(sw * 4), dst, int(tw), int(th),
                                int(tw * 4), STBIR_TYPE_UINT8, 4, STBIR_ALPHA_CHANNEL_NONE, 0,
                                STBIR_EDGE_CLAMP, STBIR_EDGE_CLAMP, STBIR_FILTER_DEFAULT,
                                STBIR_FILTER_DEFAULT, STBIR_COLORSPACE_LINEAR, nullptr);
    gr_image_pixels_unlock(out, true);
    gr_image_pixels_unlock(image, false);
    if (!ok) {
        gr_image_release(out);
        return nullptr;
    }
    return out;
}
