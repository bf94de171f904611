#include "gimp/swg_pixels.h"

#include <cstddef>

gr_image_s* swg_pixels_to_picture(const uint8_t* samples, int channels, int32_t width,
                                  int32_t height) {
    if ((channels != 2 && channels != 4) || width < 1 || height < 1)
        return nullptr;
    gr_image_s* picture = gr_image_create(width, height);
    if (!picture)
        return nullptr;
    uint32_t* px = gr_image_pixels_lock(picture);
    const size_t n = size_t(width) * size_t(height);
    for (size_t i = 0; i < n; i++) {
        const uint8_t* s = samples + i * size_t(channels);
        uint32_t r = s[0], g = s[0], b = s[0], a = s[channels - 1];
        if (channels == 4) {
            g = s[1];
            b = s[2];
        }
        if (a != 255) {
            r = (r * a + 127) / 255;
            g = (g * a + 127) / 255;
            b = (b * a + 127) / 255;
        }
        px[i] = 0xFF000000u | r << 16 | g << 8 | b;
    }
    gr_image_pixels_unlock(picture, true);
    return picture;
}

void swg_pixels_put_colour(float* samples, int channels, const gr_image_s* result) {
    const uint32_t* px = result->pixels;
    const size_t n = size_t(result->width) * size_t(result->height);
    for (size_t i = 0; i < n; i++) {
        float* s = samples + i * size_t(channels);
        const uint32_t c = px[i];
        if (channels == 2) {
            s[0] = float(c >> 8 & 0xFF) / 255.0f;
        } else {
            s[0] = float(c >> 16 & 0xFF) / 255.0f;
            s[1] = float(c >> 8 & 0xFF) / 255.0f;
            s[2] = float(c & 0xFF) / 255.0f;
        }
    }
}
