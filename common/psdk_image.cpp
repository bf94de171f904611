// Pixels between the host's interleaved plane buffers and gr_image_s words.

#include <cstddef>
#include <cstdint>

#include "app/app_assert.h"
#include "common/PluginMain.h"

// Byte offset of pixel (x, y) in a buffer of four bytes a pixel. Computed in
// the pointer's width: rows of large documents lie beyond 2 GiB.
static ptrdiff_t pixel_offset(int32 row_bytes, uint32_t x, uint32_t y) {
    return ptrdiff_t(row_bytes) * ptrdiff_t(y) + 4 * ptrdiff_t(x);
}

gr_image_s* psdk_image_get(const VRect& rect) {
    FilterRecord* record = gFilterRecord;
    SetInRect(rect);
    SetOutRect(rect);
    if (record->haveMask)
        SetMaskRect(rect);
    record->inputRate = 0x00010000;
    record->maskRate = 0x00010000;
    record->inLoPlane = 0;
    record->outLoPlane = 0;
    record->inPreDummyPlanes = 0;
    record->outPreDummyPlanes = 0;
    if (record->planes == 3) {
        // Colour plus one host-filled dummy plane keeps four bytes a pixel.
        record->inHiPlane = 2;
        record->outHiPlane = 2;
        record->inPostDummyPlanes = 1;
        record->outPostDummyPlanes = 1;
    } else {
        record->inHiPlane = 3;
        record->outHiPlane = 3;
        record->inPostDummyPlanes = 0;
        record->outPostDummyPlanes = 0;
    }

    OSErr err = record->advanceState ? record->advanceState() : OSErr(piErrMissingParameter);
    *gResult = err;
    if (err != piNoErr)
        return nullptr;

    // An inverted rectangle is an empty one.
    int64_t w = int64_t(rect.right) - rect.left;
    int64_t h = int64_t(rect.bottom) - rect.top;
    w = w < 0 ? 0 : w;
    h = h < 0 ? 0 : h;
    if (w > INT32_MAX || h > INT32_MAX || w * h > int64_t(UINT32_MAX)) {
        *gResult = piErrMemory;
        return nullptr;
    }
    if (w > 0 && h > 0 && !record->inData) {
        *gResult = piErrMissingParameter;
        return nullptr;
    }

    gr_image_s* image = gr_image_create(int32_t(w), int32_t(h));
    if (!image) {
        *gResult = piErrMemory;
        return nullptr;
    }
    uint32_t* dst = gr_image_pixels_lock(image);
    if (h == 0) {
        gr_image_pixels_unlock(image, false);
        return image;
    }
    if (record->depth == 8) {
        const uint8_t* in = static_cast<const uint8_t*>(record->inData);
        for (uint32_t y = 0; y < uint32_t(h); y++) {
            for (uint32_t x = 0; x < uint32_t(w); x++) {
                const uint8_t* p = in + pixel_offset(record->inRowBytes, x, y);
                *dst++ = uint32_t(p[3]) << 24 | uint32_t(p[0]) << 16 | uint32_t(p[1]) << 8 | p[2];
            }
        }
    }
    gr_image_pixels_unlock(image, true);
    return image;
}

void psdk_image_set(gr_image_s* image) {
    const FilterRecord* record = gFilterRecord;
    const uint32_t w = gr_image_get_width(image);
    const uint32_t h = gr_image_get_height(image);
    const VRect out = GetOutRect();
    const bool width_matches = int64_t(w) == int64_t(out.right) - out.left;
    const bool height_matches = int64_t(h) == int64_t(out.bottom) - out.top;
    SW_ASSERT(width_matches, "w == outRect.right - outRect.left");
    SW_ASSERT(height_matches, "h == outRect.bottom - outRect.top");
    // With the checks compiled out a mismatch must still not write out of bounds.
    if (!width_matches || !height_matches)
        return;

    const uint32_t* src = gr_image_pixels_lock(image);
    if (record->depth == 8 && record->outData) {
        uint8_t* outData = static_cast<uint8_t*>(record->outData);
        for (uint32_t y = 0; y < h; y++) {
            for (uint32_t x = 0; x < w; x++) {
                uint8_t* p = outData + pixel_offset(record->outRowBytes, x, y);
                const uint32_t c = *src++;
                p[0] = uint8_t(c >> 16);
                p[1] = uint8_t(c >> 8);
                p[2] = uint8_t(c);
                p[3] = uint8_t(c >> 24);
            }
        }
    }
    gr_image_pixels_unlock(image, false);
}
