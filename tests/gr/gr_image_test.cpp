// The image object: reference counting, observers, the lock protocol, rect
// copy, flip and sampling at the edges.

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "gr_filter_test_util.h"

using grt::Image;

namespace {

using Log = std::vector<std::string>;

// Logs tag + "lock", "unlk0/1", "flag<bits>", "free" ("?" when lock or free lacks the image).
// Declared before the image it watches, so that it outlives it.
struct Recorder {
    const gr_image_s* image = nullptr;
    Log own;
    Log* log = &own;
    std::string tag;

    static void cb(void* ctx, uint32_t msg, void* data) {
        auto* r = static_cast<Recorder*>(ctx);
        std::string e = msg == GR_IMAGE_MSG_LOCK   ? "lock"
                        : msg == GR_IMAGE_MSG_FREE ? "free"
                        : msg == GR_IMAGE_MSG_UNLK
                            ? "unlk" + std::to_string(*static_cast<unsigned char*>(data))
                            : "flag" + std::to_string(*static_cast<uint32_t*>(data));
        if ((msg == GR_IMAGE_MSG_LOCK || msg == GR_IMAGE_MSG_FREE) && data != r->image)
            e += "?";
        r->log->push_back(r->tag + e);
    }
    void watch(gr_image_s* im, uint64_t key = 1) {
        image = im;
        gr_image_attach(im, key, cb, this);
    }
};

Image ramp(int w, int h) {
    return grt::painted(uint32_t(w), uint32_t(h), [w](int x, int y) {
        return 0xFF000000u | uint32_t((y * w + x) * 2654435761u >> 8);
    });
}

void ignore(void*, uint32_t, void*) {}

bool locked(const gr_image_s* im) {
    return gr_image_flags_get(im) & gr__image_flag_locked;
}

} // namespace

TEST(GrImage, FreshImageIsZeroedAndUnobserved) {
    Image im(gr_image_create(7, 5));
    EXPECT_EQ(im->guard, gr__image_guard);
    EXPECT_EQ(std::tuple(im->refs, im->version, gr_image_flags_get(im.get())),
              std::tuple(1u, 0u, 0u));
    EXPECT_EQ(std::pair(gr_image_get_width(im.get()), gr_image_get_height(im.get())),
              std::pair(7u, 5u));
    EXPECT_EQ(grt::pixels(im.get()), std::vector<uint32_t>(35, 0u));
    EXPECT_EQ(gr_image_attach_get(im.get(), 0), nullptr);
    // Empty images are valid to flip and copy.
    Image empty(gr_image_create(0, 4));
    gr_image_flip_vertical(empty.get());
    EXPECT_EQ(gr_image_get_height(Image(gr_image_duplicate(empty.get())).get()), 4u);
}

TEST(GrImage, LastReleaseSendsFreeOnceToEachObserverInOrder) {
    EXPECT_EQ(gr_image_retain(nullptr), nullptr);
    gr_image_release(nullptr);
    gr_image_destroy(nullptr);
    Log log;
    Recorder a{nullptr, {}, &log, "a"}, b{nullptr, {}, &log, "b"};
    gr_image_s* im = gr_image_create(2, 2);
    a.watch(im, 10);
    b.watch(im, 20);
    EXPECT_EQ(gr_image_retain(im), im);
    EXPECT_EQ(im->refs, 2u);
    gr_image_release(im);
    EXPECT_TRUE(log.empty()) << "image still has an owner";
    EXPECT_EQ(im->refs, 1u);
    gr_image_destroy(im);
    EXPECT_EQ(log, (Log{"afree", "bfree"}));
}

TEST(GrImage, AttachGetFindsFirstEntryWithKey) {
    int x = 0, y = 0;
    Image im(gr_image_create(1, 1));
    // More observers than any initial capacity, to exercise growth.
    for (int i = 0; i < 9; i++)
        gr_image_attach(im.get(), 100 + i, ignore, i == 4 ? &x : nullptr);
    gr_image_attach(im.get(), 104, ignore, &y);
    EXPECT_EQ(gr_image_attach_get(im.get(), 104), &x);
    EXPECT_EQ(gr_image_attach_get(im.get(), 99), nullptr);
    EXPECT_EQ(im->attachment_count, 10u);
}

TEST(GrImage, LockUnlockAndFlagsNotifyAndOnlyAChangeBumpsTheVersion) {
    Recorder r;
    Image im(gr_image_create(3, 3));
    r.watch(im.get());
    EXPECT_EQ(gr_image_pixels_lock(im.get()), im->pixels);
    EXPECT_TRUE(locked(im.get()));
    gr_image_pixels_unlock(im.get(), false);
    EXPECT_EQ(std::pair(im->version, locked(im.get())), std::pair(0u, false));
    // Locks do not nest: one unlock clears two.
    gr_image_pixels_lock(im.get());
    gr_image_pixels_lock(im.get());
    gr_image_pixels_unlock(im.get(), true);
    EXPECT_EQ(std::pair(im->version, locked(im.get())), std::pair(1u, false));
    // Flags accumulate; each call reports the bits it set.
    gr_image_flags_set(im.get(), gr__image_flag_mipmaps);
    gr_image_flags_set(im.get(), gr__image_flag_repeat);
    EXPECT_EQ(gr_image_flags_get(im.get()), gr__image_flag_mipmaps | gr__image_flag_repeat);
    EXPECT_EQ(r.own, (Log{"lock", "unlk0", "lock", "lock", "unlk1",
                          "flag" + std::to_string(gr__image_flag_mipmaps),
                          "flag" + std::to_string(gr__image_flag_repeat)}));
}

TEST(GrImage, CopiesTakePixelsOnly) {
    Image im = ramp(5, 4);
    gr_image_flags_set(im.get(), 3);
    gr_image_attach(im.get(), 9, ignore, im.get());
    gr_image_pixels_lock(im.get());
    gr_image_pixels_unlock(im.get(), true);
    Image d(gr_image_duplicate(im.get()));
    EXPECT_NE(d->pixels, im->pixels);
    EXPECT_EQ(grt::pixels(d.get()), grt::pixels(im.get()));
    EXPECT_EQ(std::tuple(gr_image_flags_get(d.get()), d->version, d->refs), std::tuple(0u, 0u, 1u));
    EXPECT_EQ(gr_image_attach_get(d.get(), 9), nullptr);
    // create_pixels copies the caller's buffer too.
    uint32_t px[6] = {1, 2, 3, 4, 5, 6};
    Image own(gr_image_create_pixels(3, 2, px));
    px[0] = 99;
    EXPECT_EQ(grt::pixels(own.get()), (std::vector<uint32_t>{1, 2, 3, 4, 5, 6}));
}

TEST(GrImage, GetRectCopiesTheRectangleAndNotifiesTheSourceUnchanged) {
    Recorder r;
    Image im = ramp(6, 5);
    r.watch(im.get());
    Image sub(gr_image_get_rect(im.get(), 2, 1, 3, 4));
    ASSERT_EQ(std::pair(gr_image_get_width(sub.get()), gr_image_get_height(sub.get())),
              std::pair(3u, 4u));
    for (uint32_t y = 0; y < 4; y++)
        for (uint32_t x = 0; x < 3; x++)
            EXPECT_EQ(grt::at(sub.get(), x, y), grt::at(im.get(), x + 2, y + 1));
    EXPECT_EQ(std::pair(sub->version, gr_image_flags_get(sub.get())), std::pair(1u, 0u));
    EXPECT_EQ(std::pair(im->version, gr_image_flags_get(im.get())), std::pair(0u, 0u));
    EXPECT_EQ(r.own, (Log{"lock", "unlk0"}));
    EXPECT_EQ(grt::pixels(Image(gr_image_get_rect(im.get(), 0, 0, 6, 5)).get()),
              grt::pixels(im.get()));
}

TEST(GrImage, FlipMirrorsRowsAndTwiceRestores) {
    for (int h : {1, 2, 5, 6}) {
        SCOPED_TRACE(h);
        Image im = ramp(3, h);
        const std::vector<uint32_t> orig = grt::pixels(im.get());
        gr_image_flip_vertical(im.get());
        for (int y = 0; y < h; y++)
            for (int x = 0; x < 3; x++)
                EXPECT_EQ(grt::at(im.get(), x, y), orig[(h - 1 - y) * 3 + x]);
        EXPECT_EQ(im->version, 1u);
        gr_image_flip_vertical(im.get());
        EXPECT_EQ(grt::pixels(im.get()), orig);
        EXPECT_EQ(im->version, 2u);
    }
}

TEST(GrImage, FlipOfLockedImageIsSilent) {
    Recorder r;
    Image im = ramp(2, 3);
    const uint32_t top = im->pixels[0];
    gr_image_pixels_lock(im.get());
    r.watch(im.get());
    gr_image_flip_vertical(im.get());
    EXPECT_TRUE(r.own.empty());
    EXPECT_EQ(std::pair(im->version, locked(im.get())), std::pair(0u, true));
    EXPECT_EQ(im->pixels[2 * 2], top);
    gr_image_pixels_unlock(im.get(), true);
    gr_image_flip_vertical(im.get());
    EXPECT_EQ(r.own, (Log{"unlk1", "lock", "unlk1"}));
}

TEST(GrImage, SamplingClampsToTheEdges) {
    Image im = ramp(4, 3);
    const uint32_t* p = im->pixels;
    EXPECT_EQ(gr_image_sample(im.get(), -5, -5), p[0]);
    EXPECT_EQ(gr_image_sample(im.get(), 4 + 3, 0), p[3]);
    EXPECT_EQ(gr_image_sample(im.get(), 100, 100), p[11]);
    EXPECT_EQ(gr_image_sample(im.get(), -1, 100), p[8]);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(gr_image_sample(im.get(), float(x), float(y)), p[y * 4 + x]);
}

TEST(GrImage, SamplingTruncatesEachLerp) {
    const uint32_t px[2] = {0xFF000000, 0xFFFFFFFF};
    Image im(gr_image_create_pixels(2, 1, px));
    EXPECT_EQ(gr_image_sample(im.get(), 0.5f, 0.0f), 0xFF7F7F7Fu);
    float rgba[4];
    gr_image_sample_rgba(im.get(), rgba, 0.5f, 0.0f);
    for (int i = 0; i < 4; i++)
        EXPECT_FLOAT_EQ(rgba[i], i < 3 ? 0.5f : 1.0f);
    // 2 x 2: the top and bottom lerps are truncated before the vertical one.
    const uint32_t sq[4] = {0xFF000000, 0xFF010101, 0xFF000000, 0xFF010101};
    im.reset(gr_image_create_pixels(2, 2, sq));
    EXPECT_EQ(gr_image_sample(im.get(), 0.5f, 0.5f), 0xFF000000u);
    gr_image_sample_rgba(im.get(), rgba, 0.5f, 0.5f);
    EXPECT_NEAR(rgba[0], 0.5f / 255.0f, 1e-7);
}
