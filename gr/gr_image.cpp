// The reference-counted image object: creation, observers, the pixel lock
// protocol, flip and bilinear sampling.

#include "gr/gr_image.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/app_assert.h"
#include "gr/gr_color.h"
#include "gr/gr_memory.h"

// ---- internals -------------------------------------------------------------------

static void gr__image_notify(gr_image_s* image, uint32_t msg, void* data) {
    for (uint32_t i = 0; i < image->attachment_count; i++) {
        const gr_image_attachment_s& a = image->attachments[i];
        a.cb(a.ctx, msg, data);
    }
}

static void gr__image_check(const gr_image_s* image) {
    SW_ASSERT(image != nullptr, "image must not be null");
    SW_ASSERT(image->guard == gr__image_guard, "not a live image (released or corrupted)");
}

// Allocates the record and (zeroed) pixels; version, flags and observers start
// empty. Returns null when out of memory.
static gr_image_s* gr__image_alloc(uint32_t width, uint32_t height) {
    SW_ASSERT(uint64_t(width) * height <= UINT32_MAX, "pixel count must fit in 32 bits");
    gr_image_s* image = static_cast<gr_image_s*>(std::calloc(1, sizeof(gr_image_s)));
    // One extra word keeps calloc from returning null for an empty image.
    uint32_t* pixels = static_cast<uint32_t*>(gr_memory_calloc(size_t(width) * height + 1, 4));
    if (!image || !pixels) {
        std::free(image);
        std::free(pixels);
        return nullptr;
    }
    image->guard = gr__image_guard;
    image->refs = 1;
    image->width = width;
    image->height = height;
    image->pixels = pixels;
    return image;
}

// ---- creation ------------------------------------------------------------------------

gr_image_s* gr_image_create(int32_t width, int32_t height) {
    SW_ASSERT(width >= 0 && height >= 0, "image size must not be negative");
    return gr__image_alloc(uint32_t(width), uint32_t(height));
}

gr_image_s* gr_image_create_pixels(int32_t width, int32_t height, const uint32_t* pixels) {
    gr_image_s* image = gr_image_create(width, height);
    if (image && width > 0 && height > 0)
        std::memcpy(image->pixels, pixels, size_t(width) * size_t(height) * 4);
    return image;
}

gr_image_s* gr_image_duplicate(gr_image_s* image) {
    gr__image_check(image);
    gr_image_s* copy = gr__image_alloc(image->width, image->height);
    if (!copy)
        return nullptr;
    std::memcpy(copy->pixels, image->pixels, size_t(image->width) * image->height * 4);
    return copy;
}

gr_image_s* gr_image_get_rect(gr_image_s* image, uint32_t x, uint32_t y, uint32_t w, uint32_t h) {
    gr__image_check(image);
    SW_ASSERT(uint64_t(x) + w <= image->width && uint64_t(y) + h <= image->height,
              "rectangle must lie inside the image");
    gr_image_s* dst = gr__image_alloc(w, h);
    if (!dst)
        return nullptr;
    dst->flags |= gr__image_flag_locked;

    gr__image_notify(image, GR_IMAGE_MSG_LOCK, image);
    image->flags |= gr__image_flag_locked;
    for (uint32_t row = 0; row < h; row++)
        std::memcpy(dst->pixels + size_t(row) * w,
                    image->pixels + size_t(y + row) * image->width + x, size_t(w) * 4);
    image->flags &= ~gr__image_flag_locked;
    unsigned char unchanged = 0;
    gr__image_notify(image, GR_IMAGE_MSG_UNLK, &unchanged);

    dst->flags &= ~gr__image_flag_locked;
    dst->version++;
    return dst;
}

// ---- reference counting --------------------------------------------------------------

gr_image_s* gr_image_retain(gr_image_s* image) {
    if (image) {
        gr__image_check(image);
        image->refs++;
    }
    return image;
}

void gr_image_release(gr_image_s* image) {
    if (!image)
        return;
    gr__image_check(image);
    SW_ASSERT(image->refs > 0, "released more often than retained");
    if (--image->refs > 0)
        return;
    gr__image_notify(image, GR_IMAGE_MSG_FREE, image);
    std::free(image->attachments);
    std::free(image->pixels);
    // A stale pointer to a freed record trips the guard check instead of
    // reading reused memory as an image, as far as the allocator allows.
    image->guard = 0;
    std::free(image);
}

void gr_image_destroy(gr_image_s* image) {
    gr_image_release(image);
}

// ---- pixel access ------------------------------------------------------------------------

uint32_t gr_image_get_width(const gr_image_s* image) {
    gr__image_check(image);
    return image->width;
}

uint32_t gr_image_get_height(const gr_image_s* image) {
    gr__image_check(image);
    return image->height;
}

uint32_t* gr_image_pixels_lock(gr_image_s* image) {
    gr__image_check(image);
    gr__image_notify(image, GR_IMAGE_MSG_LOCK, image);
    image->flags |= gr__image_flag_locked;
    return image->pixels;
}

void gr_image_pixels_unlock(gr_image_s* image, bool changed) {
    gr__image_check(image);
    image->flags &= ~gr__image_flag_locked;
    if (changed)
        image->version++;
    unsigned char byte = changed ? 1 : 0;
    gr__image_notify(image, GR_IMAGE_MSG_UNLK, &byte);
}

void gr_image_flags_set(gr_image_s* image, uint32_t bits) {
    gr__image_check(image);
    image->flags |= bits;
    gr__image_notify(image, GR_IMAGE_MSG_FLAG, &bits);
}

uint32_t gr_image_flags_get(const gr_image_s* image) {
    gr__image_check(image);
    return image->flags;
}

bool gr_image_attach(gr_image_s* image, uint64_t key, gr_image_cb cb, void* ctx) {
    gr__image_check(image);
    SW_ASSERT(cb != nullptr, "an observer needs a callback");
    if (image->attachment_count == image->attachment_capacity) {
        uint32_t capacity = image->attachment_capacity ? image->attachment_capacity * 2 : 2;
        gr_image_attachment_s* grown = static_cast<gr_image_attachment_s*>(
            std::realloc(image->attachments, capacity * sizeof(gr_image_attachment_s)));
        if (!grown)
            return false;
        image->attachments = grown;
        image->attachment_capacity = capacity;
    }
    image->attachments[image->attachment_count++] = {key, ctx, cb};
    return true;
}

void* gr_image_attach_get(const gr_image_s* image, uint64_t key) {
    gr__image_check(image);
    for (uint32_t i = 0; i < image->attachment_count; i++)
        if (image->attachments[i].key == key)
            return image->attachments[i].ctx;
    return nullptr;
}

// ---- transformations and sampling ----------------------------------------------------------

void gr_image_flip_vertical(gr_image_s* image) {
    gr__image_check(image);
    const bool was_locked = (image->flags & gr__image_flag_locked) != 0;
    if (!was_locked) {
        gr__image_notify(image, GR_IMAGE_MSG_LOCK, image);
        image->flags |= gr__image_flag_locked;
    }
    // Rows swap word by word, so the flip needs no memory and cannot fail.
    for (uint32_t i = 0; i < image->height / 2; i++) {
        uint32_t* a = image->pixels + size_t(i) * image->width;
        uint32_t* b = image->pixels + size_t(image->height - 1 - i) * image->width;
        std::swap_ranges(a, a + image->width, b);
    }
    if (!was_locked) {
        image->flags &= ~gr__image_flag_locked;
        image->version++;
        unsigned char changed = 1;
        gr__image_notify(image, GR_IMAGE_MSG_UNLK, &changed);
    }
}

// The four neighbours and fractions of a clamped bilinear tap; centres at integers.
struct gr__bilinear_s {
    uint32_t c00, c10, c01, c11;
    float fx, fy;
};

static gr__bilinear_s gr__image_taps(const gr_image_s* image, float x, float y) {
    gr__image_check(image);
    SW_ASSERT(image->width > 0 && image->height > 0, "cannot sample an empty image");
    x = std::fmax(std::fmin(x, float(image->width - 1)), 0.0f);
    y = std::fmax(std::fmin(y, float(image->height - 1)), 0.0f);
    const float x0 = std::floor(x), y0 = std::floor(y);
    const uint32_t ix0 = uint32_t(x0), iy0 = uint32_t(y0);
    const uint32_t ix1 = uint32_t(std::ceil(x)), iy1 = uint32_t(std::ceil(y));
    const uint32_t* p = image->pixels;
    const size_t w = image->width;
    return {p[iy0 * w + ix0], p[iy0 * w + ix1], p[iy1 * w + ix0], p[iy1 * w + ix1], x - x0, y - y0};
}

gr_color_t gr_image_sample(const gr_image_s* image, float x, float y) {
    const gr__bilinear_s t = gr__image_taps(image, x, y);
    const gr_color_t top = gr_color_lerp(t.c00, t.c10, t.fx);
    const gr_color_t bottom = gr_color_lerp(t.c01, t.c11, t.fx);
    return gr_color_lerp(top, bottom, t.fy);
}

void gr_image_sample_rgba(const gr_image_s* image, float* out, float x, float y) {
    const gr__bilinear_s t = gr__image_taps(image, x, y);
    float c00[4], c10[4], c01[4], c11[4];
    gr_color_to_rgba(t.c00, c00);
    gr_color_to_rgba(t.c10, c10);
    gr_color_to_rgba(t.c01, c01);
    gr_color_to_rgba(t.c11, c11);
    for (int i = 0; i < 4; i++) {
        const float top = c00[i] + (c10[i] - c00[i]) * t.fx;
        const float bottom = c01[i] + (c11[i] - c01[i]) * t.fx;
        out[i] = top + (bottom - top) * t.fy;
    }
}
