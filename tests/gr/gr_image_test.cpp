// The image object: reference counting, observers, the lock protocol, rect
// copy, flip and sampling at the edges.

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "gr/gr_image.h"

namespace {

struct Event {
    int observer;
    uint32_t msg;
    const void* data;
    int changed; // for 'unlk': the byte, else -1
    uint32_t bits; // for 'flag'
};

struct Recorder {
    std::vector<Event>* log;
    int id;
};

void record(void* ctx, uint32_t msg, void* data) {
    auto* r = static_cast<Recorder*>(ctx);
    Event e{r->id, msg, data, -1, 0};
    if (msg == GR_IMAGE_MSG_UNLK)
        e.changed = *static_cast<unsigned char*>(data);
    if (msg == GR_IMAGE_MSG_FLAG)
        e.bits = *static_cast<uint32_t*>(data);
    r->log->push_back(e);
}

gr_image_s* make_ramp(int w, int h) {
    std::vector<uint32_t> px(size_t(w) * h);
    for (int i = 0; i < w * h; i++)
        px[i] = 0xFF000000u | uint32_t(i * 2654435761u >> 8);
    return gr_image_create_pixels(w, h, px.data());
}

} // namespace

TEST(GrImage, FreshImageIsEmptyAndUnobserved) {
    gr_image_s* im = gr_image_create(7, 5);
    EXPECT_EQ(im->guard, gr__image_guard);
    EXPECT_EQ(im->refs, 1u);
    EXPECT_EQ(im->version, 0u);
    EXPECT_EQ(gr_image_flags_get(im), 0u);
    EXPECT_EQ(gr_image_get_width(im), 7u);
    EXPECT_EQ(gr_image_get_height(im), 5u);
    for (int i = 0; i < 35; i++)
        EXPECT_EQ(im->pixels[i], 0u);
    EXPECT_EQ(gr_image_attach_get(im, 0), nullptr);
    EXPECT_EQ(gr_image_attach_get(im, 42), nullptr);
    gr_image_release(im);
}

TEST(GrImage, LastReleaseSendsFreeOnceToEachObserverInOrder) {
    std::vector<Event> log;
    Recorder a{&log, 1}, b{&log, 2};
    gr_image_s* im = gr_image_create(2, 2);
    gr_image_attach(im, 10, record, &a);
    gr_image_attach(im, 20, record, &b);
    EXPECT_EQ(gr_image_retain(im), im);
    EXPECT_EQ(im->refs, 2u);
    gr_image_release(im);
    EXPECT_TRUE(log.empty()) << "image still has an owner";
    EXPECT_EQ(im->refs, 1u);
    gr_image_destroy(im);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].observer, 1);
    EXPECT_EQ(log[1].observer, 2);
    for (const Event& e : log) {
        EXPECT_EQ(e.msg, GR_IMAGE_MSG_FREE);
        EXPECT_EQ(e.data, im);
    }
}

TEST(GrImage, NullIsAcceptedByRetainAndRelease) {
    EXPECT_EQ(gr_image_retain(nullptr), nullptr);
    gr_image_release(nullptr);
    gr_image_destroy(nullptr);
}

TEST(GrImage, AttachGetFindsFirstEntryWithKey) {
    int x = 0, y = 0;
    gr_image_s* im = gr_image_create(1, 1);
    // More observers than any initial capacity, to exercise growth.
    for (int i = 0; i < 9; i++)
        gr_image_attach(im, 100 + i, [](void*, uint32_t, void*) {}, i == 4 ? &x : nullptr);
    gr_image_attach(im, 104, [](void*, uint32_t, void*) {}, &y);
    EXPECT_EQ(gr_image_attach_get(im, 104), &x);
    EXPECT_EQ(gr_image_attach_get(im, 99), nullptr);
    EXPECT_EQ(im->attachment_count, 10u);
    gr_image_release(im);
}

TEST(GrImage, UnlockBumpsVersionOnlyWhenChangedAndAlwaysNotifies) {
    std::vector<Event> log;
    Recorder r{&log, 1};
    gr_image_s* im = gr_image_create(3, 3);
    gr_image_attach(im, 1, record, &r);

    uint32_t* px = gr_image_pixels_lock(im);
    EXPECT_EQ(px, im->pixels);
    EXPECT_TRUE(gr_image_flags_get(im) & gr__image_flag_locked);
    gr_image_pixels_unlock(im, false);
    EXPECT_EQ(im->version, 0u);
    EXPECT_FALSE(gr_image_flags_get(im) & gr__image_flag_locked);

    gr_image_pixels_lock(im);
    gr_image_pixels_unlock(im, true);
    EXPECT_EQ(im->version, 1u);
    EXPECT_FALSE(gr_image_flags_get(im) & gr__image_flag_locked);

    ASSERT_EQ(log.size(), 4u);
    EXPECT_EQ(log[0].msg, GR_IMAGE_MSG_LOCK);
    EXPECT_EQ(log[0].data, im);
    EXPECT_EQ(log[1].msg, GR_IMAGE_MSG_UNLK);
    EXPECT_EQ(log[1].changed, 0);
    EXPECT_EQ(log[3].msg, GR_IMAGE_MSG_UNLK);
    EXPECT_EQ(log[3].changed, 1);
    gr_image_release(im);
}

TEST(GrImage, LockDoesNotNestAndOneUnlockClearsIt) {
    std::vector<Event> log;
    Recorder r{&log, 1};
    gr_image_s* im = gr_image_create(1, 1);
    gr_image_attach(im, 1, record, &r);
    gr_image_pixels_lock(im);
    gr_image_pixels_lock(im);
    gr_image_pixels_unlock(im, true);
    EXPECT_FALSE(gr_image_flags_get(im) & gr__image_flag_locked);
    EXPECT_EQ(log.size(), 3u);
    EXPECT_EQ(log[1].msg, GR_IMAGE_MSG_LOCK);
    gr_image_release(im);
}

TEST(GrImage, FlagsAccumulateAndNotifyWithTheBitsJustSet) {
    std::vector<Event> log;
    Recorder r{&log, 1};
    gr_image_s* im = gr_image_create(1, 1);
    gr_image_attach(im, 1, record, &r);
    gr_image_flags_set(im, gr__image_flag_mipmaps);
    gr_image_flags_set(im, gr__image_flag_repeat);
    EXPECT_EQ(gr_image_flags_get(im), gr__image_flag_mipmaps | gr__image_flag_repeat);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].msg, GR_IMAGE_MSG_FLAG);
    EXPECT_EQ(log[0].bits, gr__image_flag_mipmaps);
    EXPECT_EQ(log[1].bits, gr__image_flag_repeat);
    gr_image_release(im);
}

TEST(GrImage, DuplicateCopiesPixelsOnly) {
    gr_image_s* im = make_ramp(5, 4);
    gr_image_flags_set(im, 3);
    gr_image_attach(im, 9, [](void*, uint32_t, void*) {}, im);
    gr_image_pixels_lock(im);
    gr_image_pixels_unlock(im, true);
    gr_image_s* d = gr_image_duplicate(im);
    EXPECT_NE(d->pixels, im->pixels);
    EXPECT_EQ(std::memcmp(d->pixels, im->pixels, 5 * 4 * 4), 0);
    EXPECT_EQ(gr_image_flags_get(d), 0u);
    EXPECT_EQ(d->version, 0u);
    EXPECT_EQ(gr_image_attach_get(d, 9), nullptr);
    EXPECT_EQ(d->refs, 1u);
    gr_image_release(d);
    gr_image_release(im);
}

TEST(GrImage, CreatePixelsKeepsCallersBuffer) {
    uint32_t px[6] = {1, 2, 3, 4, 5, 6};
    gr_image_s* im = gr_image_create_pixels(3, 2, px);
    px[0] = 99;
    EXPECT_EQ(im->pixels[0], 1u);
    EXPECT_EQ(im->pixels[5], 6u);
    gr_image_release(im);
}

TEST(GrImage, GetRectCopiesTheRectangleAndNotifiesTheSourceUnchanged) {
    std::vector<Event> log;
    Recorder r{&log, 1};
    gr_image_s* im = make_ramp(6, 5);
    gr_image_attach(im, 1, record, &r);
    gr_image_s* sub = gr_image_get_rect(im, 2, 1, 3, 4);
    ASSERT_EQ(gr_image_get_width(sub), 3u);
    ASSERT_EQ(gr_image_get_height(sub), 4u);
    for (int y = 0; y < 4; y++)
        for (int x = 0; x < 3; x++)
            EXPECT_EQ(sub->pixels[y * 3 + x], im->pixels[(y + 1) * 6 + x + 2]);
    EXPECT_EQ(sub->version, 1u);
    EXPECT_EQ(gr_image_flags_get(sub), 0u);
    EXPECT_EQ(im->version, 0u);
    EXPECT_EQ(gr_image_flags_get(im), 0u);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].msg, GR_IMAGE_MSG_LOCK);
    EXPECT_EQ(log[1].msg, GR_IMAGE_MSG_UNLK);
    EXPECT_EQ(log[1].changed, 0);

    gr_image_s* whole = gr_image_get_rect(im, 0, 0, 6, 5);
    EXPECT_EQ(std::memcmp(whole->pixels, im->pixels, 6 * 5 * 4), 0);
    gr_image_release(whole);
    gr_image_release(sub);
    gr_image_release(im);
}

TEST(GrImage, FlipMirrorsRowsAndTwiceRestores) {
    for (int h : {1, 2, 5, 6}) {
        gr_image_s* im = make_ramp(3, h);
        gr_image_s* orig = gr_image_duplicate(im);
        gr_image_flip_vertical(im);
        for (int y = 0; y < h; y++)
            EXPECT_EQ(std::memcmp(im->pixels + y * 3, orig->pixels + (h - 1 - y) * 3, 12), 0)
                << "h=" << h << " row " << y;
        EXPECT_EQ(im->version, 1u);
        gr_image_flip_vertical(im);
        EXPECT_EQ(std::memcmp(im->pixels, orig->pixels, size_t(3) * h * 4), 0);
        EXPECT_EQ(im->version, 2u);
        gr_image_release(orig);
        gr_image_release(im);
    }
}

TEST(GrImage, FlipOfLockedImageIsSilent) {
    std::vector<Event> log;
    Recorder r{&log, 1};
    gr_image_s* im = make_ramp(2, 3);
    const uint32_t top = im->pixels[0];
    gr_image_attach(im, 1, record, &r);
    gr_image_pixels_lock(im);
    log.clear();
    gr_image_flip_vertical(im);
    EXPECT_TRUE(log.empty());
    EXPECT_EQ(im->version, 0u);
    EXPECT_TRUE(gr_image_flags_get(im) & gr__image_flag_locked);
    EXPECT_EQ(im->pixels[2 * 2], top);
    gr_image_pixels_unlock(im, true);

    log.clear();
    gr_image_flip_vertical(im);
    ASSERT_EQ(log.size(), 2u);
    EXPECT_EQ(log[0].msg, GR_IMAGE_MSG_LOCK);
    EXPECT_EQ(log[1].msg, GR_IMAGE_MSG_UNLK);
    EXPECT_EQ(log[1].changed, 1);
    gr_image_release(im);
}

TEST(GrImage, SamplingClampsToTheEdges) {
    gr_image_s* im = make_ramp(4, 3);
    EXPECT_EQ(gr_image_sample(im, -5, -5), im->pixels[0]);
    EXPECT_EQ(gr_image_sample(im, 4 + 3, 0), im->pixels[3]);
    EXPECT_EQ(gr_image_sample(im, 100, 100), im->pixels[11]);
    EXPECT_EQ(gr_image_sample(im, -1, 100), im->pixels[8]);
    for (int y = 0; y < 3; y++)
        for (int x = 0; x < 4; x++)
            EXPECT_EQ(gr_image_sample(im, float(x), float(y)), im->pixels[y * 4 + x]);
    gr_image_release(im);
}

TEST(GrImage, SamplingTruncatesEachLerp) {
    uint32_t px[2] = {0xFF000000, 0xFFFFFFFF};
    gr_image_s* im = gr_image_create_pixels(2, 1, px);
    EXPECT_EQ(gr_image_sample(im, 0.5f, 0.0f), 0xFF7F7F7Fu);
    float rgba[4];
    gr_image_sample_rgba(im, rgba, 0.5f, 0.0f);
    for (int i = 0; i < 3; i++)
        EXPECT_FLOAT_EQ(rgba[i], 0.5f);
    EXPECT_FLOAT_EQ(rgba[3], 1.0f);
    gr_image_release(im);

    // 2 x 2: the top and bottom lerps are truncated before the vertical one.
    uint32_t sq[4] = {0xFF000000, 0xFF010101, 0xFF000000, 0xFF010101};
    im = gr_image_create_pixels(2, 2, sq);
    EXPECT_EQ(gr_image_sample(im, 0.5f, 0.5f), 0xFF000000u);
    gr_image_sample_rgba(im, rgba, 0.5f, 0.5f);
    EXPECT_NEAR(rgba[0], 0.5f / 255.0f, 1e-7);
    gr_image_release(im);
}

TEST(GrImage, EmptyImagesAreValid) {
    gr_image_s* im = gr_image_create(0, 4);
    EXPECT_EQ(gr_image_get_width(im), 0u);
    gr_image_flip_vertical(im);
    gr_image_s* d = gr_image_duplicate(im);
    EXPECT_EQ(gr_image_get_height(d), 4u);
    gr_image_release(d);
    gr_image_release(im);
}
