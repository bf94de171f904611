// Image files and encoders: decoding from memory and from files with
// stb_image, PNG and JPEG encoding with stb_image_write.

#include <stb_image.h>
#include <stb_image_write.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_assert.h"
#include "app/app_file.h"
#include "gr/gr_image.h"

// Defined by the stb_image_write implementation but only declared inside it.
extern "C" unsigned char* stbi_write_png_to_mem(const unsigned char* pixels, int stride_bytes,
                                                int x, int y, int n, int* out_len);

// Packs decoded R, G, B, A byte quadruples into a new image; forces alpha to
// 255 when opaque is set, compositing the colour over black first so that
// transparent regions do not bring back colours nobody saw.
static gr_image_s* gr__image_from_rgba(int w, int h, const unsigned char* rgba, bool opaque) {
    if (w <= 0 || h <= 0 || uint64_t(w) * uint64_t(h) > UINT32_MAX)
        return nullptr;
    gr_image_s* image = gr_image_create(w, h);
    uint32_t* px = gr_image_pixels_lock(image);
    const size_t n = size_t(w) * size_t(h);
    for (size_t i = 0; i < n; i++) {
        uint32_t r = rgba[4 * i], g = rgba[4 * i + 1], b = rgba[4 * i + 2], a = rgba[4 * i + 3];
        if (opaque && a != 255) {
            // Rounded premultiplication: (v * a + 127) / 255.
            r = (r * a + 127) / 255;
            g = (g * a + 127) / 255;
            b = (b * a + 127) / 255;
            a = 255;
        } else if (opaque) {
            a = 255;
        }
        px[i] = a << 24 | r << 16 | g << 8 | b;
    }
    gr_image_pixels_unlock(image, true);
    return image;
}

gr_image_s* gr_image_create_data(int32_t size, const void* bytes) {
    std::printf("Loading %d bytes...\n", size);
    if (size <= 0 || !bytes)
        return nullptr;
    stbi_set_unpremultiply_on_load(1);
    stbi_convert_iphone_png_to_rgb(1);
    int w = 0, h = 0, n = 0;
    unsigned char* rgba =
        stbi_load_from_memory(static_cast<const stbi_uc*>(bytes), size, &w, &h, &n, 4);
    if (!rgba)
        return nullptr;
    gr_image_s* image = gr__image_from_rgba(w, h, rgba, false);
    stbi_image_free(rgba);
    return image;
}

gr_image_s* gr_image_create_file(const char* path) {
    if (!path)
        return nullptr;
    // 16-bit files come back at their size, reduced to 8 bits a channel.
    int w = 0, h = 0, n = 0;
    unsigned char* rgba = stbi_load(path, &w, &h, &n, 4);
    if (!rgba)
        return nullptr;
    gr_image_s* image = gr__image_from_rgba(w, h, rgba, true);
    stbi_image_free(rgba);
    return image;
}

// Returns the pixels as R, G, B, A bytes (alpha as stored, dropped when rgb).
static unsigned char* gr__image_to_bytes(const gr_image_s* image, int components) {
    const size_t n = size_t(image->width) * image->height;
    unsigned char* out = static_cast<unsigned char*>(std::malloc(n * components + 1));
    for (size_t i = 0; i < n; i++) {
        const uint32_t c = image->pixels[i];
        unsigned char* o = out + i * components;
        o[0] = uint8_t(c >> 16);
        o[1] = uint8_t(c >> 8);
        o[2] = uint8_t(c);
        if (components == 4)
            o[3] = uint8_t(c >> 24);
    }
    return out;
}

unsigned char* gr_image_encode_png(const gr_image_s* image, uint32_t* length) {
    SW_ASSERT(image && image->guard == gr__image_guard, "not a live image");
    SW_ASSERT(length != nullptr, "length must not be null");
    *length = 0;
    if (image->width == 0 || image->height == 0)
        return nullptr;
    unsigned char* rgba = gr__image_to_bytes(image, 4);
    int len = 0;
    unsigned char* png = stbi_write_png_to_mem(rgba, int(image->width) * 4, int(image->width),
                                               int(image->height), 4, &len);
    std::free(rgba);
    if (png)
        *length = uint32_t(len);
    return png;
}

bool gr_image_save_file(const gr_image_s* image, const char* path) {
    uint32_t length = 0;
    unsigned char* png = gr_image_encode_png(image, &length);
    if (!png)
        return false;
    // Written whole or not at all: a failed encode or short write must not
    // leave a truncated picture behind.
    const bool ok = app_file_write(path, length, png);
    std::free(png);
    return ok;
}

struct gr__byte_sink_s {
    unsigned char* data;
    size_t size, capacity;
};

static void gr__sink_write(void* context, void* bytes, int size) {
    gr__byte_sink_s* sink = static_cast<gr__byte_sink_s*>(context);
    if (sink->size + size_t(size) > sink->capacity) {
        size_t capacity = sink->capacity ? sink->capacity : 4096;
        while (capacity < sink->size + size_t(size))
            capacity *= 2;
        sink->data = static_cast<unsigned char*>(std::realloc(sink->data, capacity));
        sink->capacity = capacity;
    }
    std::memcpy(sink->data + sink->size, bytes, size_t(size));
    sink->size += size_t(size);
}

unsigned char* gr_image_encode_jpeg(const gr_image_s* image, uint32_t* length, float quality) {
    SW_ASSERT(image && image->guard == gr__image_guard, "not a live image");
    SW_ASSERT(length != nullptr, "length must not be null");
    *length = 0;
    if (image->width == 0 || image->height == 0)
        return nullptr;
    // Quality 0..1 maps onto the encoder's 1..100.
    int q = int(quality * 99.0f + 1.5f);
    q = q < 1 ? 1 : (q > 100 ? 100 : q);
    unsigned char* rgb = gr__image_to_bytes(image, 3);
    gr__byte_sink_s sink = {nullptr, 0, 0};
    const int ok = stbi_write_jpg_to_func(gr__sink_write, &sink, int(image->width),
                                          int(image->height), 3, rgb, q);
    std::free(rgb);
    if (!ok || sink.size == 0) {
        std::free(sink.data);
        return nullptr;
    }
    *length = uint32_t(sink.size);
    return sink.data;
}

bool gr_image_save_jpeg(const gr_image_s* image, const char* path, float quality) {
    uint32_t length = 0;
    unsigned char* jpeg = gr_image_encode_jpeg(image, &length, quality);
    if (!jpeg)
        return false;
    const bool ok = app_file_write(path, length, jpeg);
    std::free(jpeg);
    return ok;
}
