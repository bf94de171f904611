// Image files and encoders: decoding from memory and from files with
// stb_image, PNG and JPEG encoding with stb_image_write.

#include <stb_image.h>
#include <stb_image_write.h>

#include <sys/stat.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_assert.h"
#include "app/app_file.h"
#include "gr/gr_image.h"
#include "gr/gr_memory.h"

// stbi_write_png_to_mem under a memory guard (cmake/stb_impl.c): null with
// errno ENOMEM, nothing leaked, when memory runs out mid-encode.
extern "C" unsigned char* sw_stbi_write_png_to_mem(const unsigned char* pixels, int stride_bytes,
                                                   int x, int y, int n, int* out_len);

// Most pixels one byte of an encoded file can stand for. Deflate packs at most
// 1032 bytes into one and a one-bit PNG holds 8 pixels a byte; GIF's codes and
// the run lengths of the other formats stay well below. A header claiming more
// describes data that is not there.
constexpr uint64_t GR__PIXELS_PER_FILE_BYTE = 16384;

// Packs decoded R, G, B, A byte quadruples into a new image; forces alpha to
// 255 when opaque is set, compositing the colour over black first so that
// transparent regions do not bring back colours nobody saw.
// Returns null when out of memory.
static gr_image_s* gr__image_from_rgba(int w, int h, const unsigned char* rgba, bool opaque) {
    if (w <= 0 || h <= 0 || uint64_t(w) * uint64_t(h) > UINT32_MAX)
        return nullptr;
    gr_image_s* image = gr_image_create(w, h);
    if (!image)
        return nullptr;
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

// ---- loading ----------------------------------------------------------------------------

// Records a failure and returns null.
static gr_image_s* gr__load_fail(gr_image_load_s* load, gr_image_load_t status,
                                 const char* reason) {
    load->status = status;
    std::snprintf(load->reason, sizeof load->reason, "%s", reason);
    return nullptr;
}

// Records why the decoder failed: its own reason, or out of memory.
static gr_image_s* gr__load_decoder_fail(gr_image_load_s* load) {
    const char* why = stbi_failure_reason();
    if (why && (std::strcmp(why, "Out of memory") == 0 || std::strcmp(why, "outofmem") == 0))
        return gr__load_fail(load, GR_IMAGE_LOAD_NO_MEMORY, "out of memory");
    return gr__load_fail(load, GR_IMAGE_LOAD_NOT_AN_IMAGE, why && *why ? why : "unknown format");
}

// Checks the size an encoding of bytes bytes declares against the cap and
// against what those bytes can hold.
static bool gr__load_size_ok(gr_image_load_s* load, int w, int h, uint64_t bytes) {
    load->width = uint32_t(w);
    load->height = uint32_t(h);
    const uint64_t pixels = uint64_t(uint32_t(w)) * uint64_t(uint32_t(h));
    const uint64_t cap = load->max_pixels ? load->max_pixels : GR_IMAGE_MAX_PIXELS;
    if (pixels > cap)
        std::snprintf(load->reason, sizeof load->reason,
                      "image too large: %d x %d (over %llu pixels)", w, h,
                      static_cast<unsigned long long>(cap));
    else if (pixels > bytes * GR__PIXELS_PER_FILE_BYTE)
        std::snprintf(load->reason, sizeof load->reason,
                      "image too large: %d x %d, declared by %llu bytes that cannot hold it", w, h,
                      static_cast<unsigned long long>(bytes));
    else
        return true;
    load->status = GR_IMAGE_LOAD_TOO_LARGE;
    return false;
}

// Turns decoded bytes into an image, checking the size once more (it is the
// decoder's now) and freeing the decoder's buffer.
static gr_image_s* gr__load_finish(gr_image_load_s* load, unsigned char* rgba, int w, int h,
                                   uint64_t bytes, bool opaque) {
    if (!rgba)
        return gr__load_decoder_fail(load);
    gr_image_s* image = nullptr;
    if (gr__load_size_ok(load, w, h, bytes)) {
        image = gr__image_from_rgba(w, h, rgba, opaque);
        if (!image)
            gr__load_fail(load, GR_IMAGE_LOAD_NO_MEMORY, "out of memory");
    }
    stbi_image_free(rgba);
    if (image)
        load->status = GR_IMAGE_LOAD_OK;
    return image;
}

gr_image_s* gr_image_create_data(int32_t size, const void* bytes) {
    std::printf("Loading %d bytes...\n", size);
    if (size <= 0 || !bytes)
        return nullptr;
    stbi_set_unpremultiply_on_load(1);
    stbi_convert_iphone_png_to_rgb(1);
    gr_image_load_s load = {};
    const stbi_uc* data = static_cast<const stbi_uc*>(bytes);
    int w = 0, h = 0, n = 0;
    if (!stbi_info_from_memory(data, size, &w, &h, &n) || !gr__load_size_ok(&load, w, h, size))
        return nullptr;
    unsigned char* rgba = stbi_load_from_memory(data, size, &w, &h, &n, 4);
    return gr__load_finish(&load, rgba, w, h, uint64_t(size), false);
}

gr_image_s* gr_image_load_file(const char* path, gr_image_load_s* load) {
    gr_image_load_s fallback = {};
    if (!load)
        load = &fallback;
    load->status = GR_IMAGE_LOAD_UNREADABLE;
    load->width = load->height = 0;
    load->reason[0] = '\0';
    if (!path)
        return gr__load_fail(load, GR_IMAGE_LOAD_UNREADABLE, "no file name");
    FILE* f = std::fopen(path, "rbe");
    struct stat st;
    if (!f || fstat(fileno(f), &st) != 0) {
        const int err = errno;
        if (f)
            std::fclose(f);
        return gr__load_fail(load, GR_IMAGE_LOAD_UNREADABLE, std::strerror(err));
    }
    // The size is read from the header first, so that a huge claim is refused
    // before anything is allocated; the same handle is then decoded.
    int w = 0, h = 0, n = 0;
    unsigned char* rgba = nullptr;
    const uint64_t bytes = S_ISREG(st.st_mode) ? uint64_t(st.st_size) : UINT64_MAX / 65536;
    if (stbi_info_from_file(f, &w, &h, &n)) {
        if (!gr__load_size_ok(load, w, h, bytes)) {
            std::fclose(f);
            return nullptr;
        }
        // 16-bit files come back at their size, reduced to 8 bits a channel.
        rgba = stbi_load_from_file(f, &w, &h, &n, 4);
    }
    std::fclose(f);
    return gr__load_finish(load, rgba, w, h, bytes, true);
}

gr_image_s* gr_image_create_file(const char* path) {
    return gr_image_load_file(path, nullptr);
}

// ---- encoding ---------------------------------------------------------------------------

// Returns the pixels as R, G, B, A bytes (alpha as stored, dropped when rgb),
// or null with errno ENOMEM.
static unsigned char* gr__image_to_bytes(const gr_image_s* image, int components) {
    const size_t n = size_t(image->width) * image->height;
    unsigned char* out = static_cast<unsigned char*>(gr_memory_alloc(n * components + 1));
    if (!out) {
        errno = ENOMEM;
        return nullptr;
    }
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
    if (!rgba)
        return nullptr;
    int len = 0;
    unsigned char* png = sw_stbi_write_png_to_mem(rgba, int(image->width) * 4, int(image->width),
                                                  int(image->height), 4, &len);
    std::free(rgba);
    if (png)
        *length = uint32_t(len);
    else
        errno = ENOMEM;
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
    bool failed; // out of memory: the rest of the encoding is dropped
};

static void gr__sink_write(void* context, void* bytes, int size) {
    gr__byte_sink_s* sink = static_cast<gr__byte_sink_s*>(context);
    if (sink->failed)
        return;
    if (sink->size + size_t(size) > sink->capacity) {
        size_t capacity = sink->capacity ? sink->capacity : 4096;
        while (capacity < sink->size + size_t(size))
            capacity *= 2;
        unsigned char* grown = static_cast<unsigned char*>(std::realloc(sink->data, capacity));
        if (!grown) {
            sink->failed = true;
            return;
        }
        sink->data = grown;
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
    if (!rgb)
        return nullptr;
    gr__byte_sink_s sink = {nullptr, 0, 0, false};
    const int ok = stbi_write_jpg_to_func(gr__sink_write, &sink, int(image->width),
                                          int(image->height), 3, rgb, q);
    std::free(rgb);
    if (!ok || sink.failed || sink.size == 0) {
        std::free(sink.data);
        if (sink.failed)
            errno = ENOMEM;
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
