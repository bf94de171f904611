#include "gimp/swg_pixels.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

struct to_picture_case_s {
    const char* what;
    int channels;
    std::vector<uint8_t> samples; // one pixel
    uint32_t expected;            // 0xAARRGGBB, or 0 for no picture
};

class SwgPixelsToPicture : public ::testing::TestWithParam<to_picture_case_s> {};

TEST_P(SwgPixelsToPicture, MakesOnePixelOpaque) {
    const to_picture_case_s& c = GetParam();
    gr_image_s* picture = swg_pixels_to_picture(c.samples.data(), c.channels, 1, 1);
    ASSERT_EQ(picture != nullptr, c.expected != 0) << c.what;
    if (picture) {
        EXPECT_EQ(picture->pixels[0], c.expected)
            << c.what << std::hex << ": " << picture->pixels[0];
    }
    gr_image_release(picture);
}

INSTANTIATE_TEST_SUITE_P(
    Samples, SwgPixelsToPicture,
    ::testing::Values(
        to_picture_case_s{"opaque colour", 4, {10, 20, 30, 255}, 0xFF0A141E},
        to_picture_case_s{"grey copied to R, G, B", 2, {77, 255}, 0xFF4D4D4D},
        // (200 * 128 + 127) / 255 = 100 and (1 * 128 + 127) / 255 = 1: rounded.
        to_picture_case_s{"half transparent, over black", 4, {200, 1, 255, 128}, 0xFF640180},
        to_picture_case_s{"transparent colour is not seen", 4, {255, 255, 255, 0}, 0xFF000000},
        to_picture_case_s{"grey with alpha", 2, {255, 51}, 0xFF333333},
        to_picture_case_s{"three channels", 3, {1, 2, 3, 4}, 0},
        to_picture_case_s{"one channel", 1, {1, 2, 3, 4}, 0}));

TEST(SwgPixels, RefusesEmptySizesAndKeepsRowsInOrder) {
    const uint8_t samples[] = {1, 255, 2, 255, 3, 255, 4, 255, 5, 255, 6, 255}; // 3 x 2, Y'A
    EXPECT_EQ(swg_pixels_to_picture(samples, 2, 0, 2), nullptr);
    EXPECT_EQ(swg_pixels_to_picture(samples, 2, 3, -1), nullptr);
    gr_image_s* picture = swg_pixels_to_picture(samples, 2, 3, 2);
    ASSERT_NE(picture, nullptr);
    for (uint32_t i = 0; i < 6; i++)
        EXPECT_EQ(picture->pixels[i] & 0xFF, i + 1);
    gr_image_release(picture);
}

// The result's colour lands in every pixel; alpha keeps values 8 bits cannot hold.
TEST(SwgPixels, PutColourKeepsAlphaExactly) {
    const uint32_t colours[] = {0xFF000000, 0xFFFFFFFF, 0xFF336699};
    gr_image_s* result = gr_image_create_pixels(3, 1, colours);
    ASSERT_NE(result, nullptr);
    const float alphas[] = {0.0f, 1.0f / 65535.0f, 0.123456789f};
    std::vector<float> rgba, ya;
    for (float a : alphas) {
        rgba.insert(rgba.end(), {0.5f, 0.5f, 0.5f, a});
        ya.insert(ya.end(), {0.5f, a});
    }
    swg_pixels_put_colour(rgba.data(), 4, result);
    swg_pixels_put_colour(ya.data(), 2, result);
    const float expected[][3] = {
        {0, 0, 0}, {1, 1, 1}, {0x33 / 255.0f, 0x66 / 255.0f, 0x99 / 255.0f}};
    for (int i = 0; i < 3; i++) {
        for (int c = 0; c < 3; c++)
            EXPECT_FLOAT_EQ(rgba[i * 4 + c], expected[i][c]) << "pixel " << i << " channel " << c;
        EXPECT_EQ(rgba[i * 4 + 3], alphas[i]);
        EXPECT_FLOAT_EQ(ya[i * 2], expected[i][1]) << "grey from green, pixel " << i;
        EXPECT_EQ(ya[i * 2 + 1], alphas[i]);
    }
    gr_image_release(result);
}
