// Image files: PNG round trip, decoding from memory and files, JPEG, and the
// rule that a failed save leaves nothing behind.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <vector>

#include "gr/gr_image.h"

namespace fs = std::filesystem;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/sw_gr_file_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path); }
};

gr_image_s* random_image(int w, int h, unsigned seed) {
    std::mt19937 rng(seed);
    std::vector<uint32_t> px(size_t(w) * h);
    for (uint32_t& p : px)
        p = rng();
    return gr_image_create_pixels(w, h, px.data());
}

std::vector<unsigned char> read_all(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

} // namespace

TEST(GrImageFile, PngRoundTripIsExactIncludingAlpha) {
    gr_image_s* im = random_image(37, 23, 11);
    uint32_t len = 0;
    unsigned char* png = gr_image_encode_png(im, &len);
    ASSERT_NE(png, nullptr);
    ASSERT_GT(len, 8u);
    EXPECT_EQ(std::memcmp(png, "\x89PNG\r\n\x1a\n", 8), 0);
    testing::internal::CaptureStdout();
    gr_image_s* back = gr_image_create_data(int32_t(len), png);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Loading " + std::to_string(len) + " bytes...\n");
    std::free(png);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(gr_image_get_width(back), 37u);
    ASSERT_EQ(gr_image_get_height(back), 23u);
    EXPECT_EQ(std::memcmp(back->pixels, im->pixels, 37 * 23 * 4), 0);
    gr_image_release(back);
    gr_image_release(im);
}

TEST(GrImageFile, SaveFileThenLoadKeepsEveryWord) {
    TempDir dir;
    gr_image_s* im = random_image(16, 9, 5);
    const fs::path p = dir.path / "out.jpg"; // the extension does not change the format
    ASSERT_TRUE(gr_image_save_file(im, p.c_str()));
    std::vector<unsigned char> bytes = read_all(p);
    ASSERT_GT(bytes.size(), 8u);
    EXPECT_EQ(std::memcmp(bytes.data(), "\x89PNG", 4), 0);
    testing::internal::CaptureStdout();
    gr_image_s* back = gr_image_create_data(int32_t(bytes.size()), bytes.data());
    testing::internal::GetCapturedStdout();
    ASSERT_NE(back, nullptr);
    EXPECT_EQ(std::memcmp(back->pixels, im->pixels, 16 * 9 * 4), 0);
    gr_image_release(back);
    gr_image_release(im);
}

TEST(GrImageFile, SaveIntoMissingFolderFailsAndCreatesNothing) {
    TempDir dir;
    gr_image_s* im = random_image(4, 4, 1);
    EXPECT_FALSE(gr_image_save_file(im, (dir.path / "nope" / "out.png").c_str()));
    EXPECT_FALSE(fs::exists(dir.path / "nope"));
    EXPECT_TRUE(fs::is_empty(dir.path));
    gr_image_release(im);
}

TEST(GrImageFile, SaveReplacesAnExistingFileWhole) {
    TempDir dir;
    const fs::path p = dir.path / "out.png";
    {
        std::ofstream f(p);
        f << std::string(100000, 'x');
    }
    gr_image_s* im = random_image(3, 3, 2);
    ASSERT_TRUE(gr_image_save_file(im, p.c_str()));
    std::vector<unsigned char> bytes = read_all(p);
    EXPECT_LT(bytes.size(), 1000u);
    EXPECT_EQ(std::memcmp(bytes.data(), "\x89PNG", 4), 0);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1)
        << "no temporary file left beside it";
    gr_image_release(im);
}

TEST(GrImageFile, CreateDataRejectsGarbageAfterTheLoadingLine) {
    const char junk[] = "this is not an image at all";
    testing::internal::CaptureStdout();
    EXPECT_EQ(gr_image_create_data(int32_t(sizeof junk), junk), nullptr);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Loading 28 bytes...\n");
}

TEST(GrImageFile, FileLoaderMakesSemiTransparentPixelsOpaque) {
    TempDir dir;
    uint32_t px[4] = {0x80FF0000, 0x00FFFFFF, 0xFF00FF00, 0x40404040};
    gr_image_s* im = gr_image_create_pixels(2, 2, px);
    const fs::path p = dir.path / "alpha.png";
    ASSERT_TRUE(gr_image_save_file(im, p.c_str()));
    gr_image_s* back = gr_image_create_file(p.c_str());
    ASSERT_NE(back, nullptr);
    for (int i = 0; i < 4; i++)
        EXPECT_EQ(back->pixels[i] >> 24, 0xFFu) << i;
    EXPECT_EQ(back->pixels[0], 0xFF800000u) << "colour composited over black";
    EXPECT_EQ(back->pixels[1], 0xFF000000u);
    EXPECT_EQ(back->pixels[2], 0xFF00FF00u);
    gr_image_release(back);
    gr_image_release(im);
}

TEST(GrImageFile, FileLoaderReadsTheSamplePhotosAtNativeSize) {
    struct Case {
        const char* name;
        uint32_t w, h;
    } cases[] = {{"camera_512x512_grey.png", 512, 512},
                 {"cat_451x300_rgba.png", 451, 300},
                 {"sunset_534x356_rgb16.png", 534, 356},
                 {"mountains_2048x1536.jpg", 2048, 1536},
                 {"dogs_portrait_512x769_rgb.png", 512, 769}};
    for (const Case& c : cases) {
        const std::string path = std::string(SW_TESTDATA_DIR) + "/" + c.name;
        gr_image_s* im = gr_image_create_file(path.c_str());
        ASSERT_NE(im, nullptr) << c.name;
        EXPECT_EQ(gr_image_get_width(im), c.w) << c.name;
        EXPECT_EQ(gr_image_get_height(im), c.h) << c.name;
        uint32_t and_alpha = 0xFF;
        for (uint32_t i = 0; i < c.w * c.h; i++)
            and_alpha &= im->pixels[i] >> 24;
        EXPECT_EQ(and_alpha, 0xFFu) << c.name << " is opaque";
        gr_image_release(im);
    }
}

TEST(GrImageFile, GreyPhotoLoadsWithEqualChannels) {
    const std::string path = std::string(SW_TESTDATA_DIR) + "/camera_512x512_grey.png";
    gr_image_s* im = gr_image_create_file(path.c_str());
    ASSERT_NE(im, nullptr);
    for (uint32_t i = 0; i < 512 * 512; i += 97) {
        const uint32_t p = im->pixels[i];
        ASSERT_EQ((p >> 16) & 0xFF, p & 0xFF);
        ASSERT_EQ((p >> 8) & 0xFF, p & 0xFF);
    }
    gr_image_release(im);
}

// A 24-bit BMP header declaring w x h, followed by extra zero bytes.
std::string bmp_header(int32_t w, int32_t h, size_t extra) {
    auto le = [](std::string& s, uint32_t v, int bytes) {
        for (int i = 0; i < bytes; i++)
            s += char(v >> (8 * i));
    };
    std::string s = "BM";
    le(s, uint32_t(54 + extra), 4);
    le(s, 0, 4);
    le(s, 54, 4);
    for (uint32_t v : {40u, uint32_t(w), uint32_t(h)})
        le(s, v, 4);
    le(s, 1, 2);
    le(s, 24, 2);
    for (int i = 0; i < 6; i++)
        le(s, 0, 4);
    return s + std::string(extra, '\0');
}

TEST(GrImageFile, LoaderSaysWhyAndRefusesHugeClaimsBeforeDecoding) {
    TempDir dir;
    const fs::path photo = fs::path(SW_TESTDATA_DIR) / "astronaut_512x512_rgb.png";
    const struct {
        std::string name, bytes; // bytes empty: the file is not created (or is the photo)
        uint64_t max_pixels;
        gr_image_load_t status;
        const char* reason;
    } cases[] = {
        {"photo", "", 0, GR_IMAGE_LOAD_OK, ""},
        {"photo", "", 512 * 512, GR_IMAGE_LOAD_OK, ""},
        {"photo", "", 512 * 512 - 1, GR_IMAGE_LOAD_TOO_LARGE,
         "image too large: 512 x 512 (over 262143 pixels)"},
        {"missing.png", "", 0, GR_IMAGE_LOAD_UNREADABLE, "No such file"},
        {"junk.png", "\x89PNG\r\n\x1a\n truncated", 0, GR_IMAGE_LOAD_NOT_AN_IMAGE, "corrupt"},
        {"text.png", "not a picture", 0, GR_IMAGE_LOAD_NOT_AN_IMAGE, "known type"},
        {"small.bmp", bmp_header(4, 3, 4 * 3 * 3), 0, GR_IMAGE_LOAD_OK, ""},
        // 109 bytes claiming 13,435,069 x 12, under the cap but not in the file.
        {"bomb.bmp", bmp_header(13435069, 12, 55), 0, GR_IMAGE_LOAD_TOO_LARGE,
         "image too large: 13435069 x 12, declared by 109 bytes"},
        {"wide.bmp", bmp_header(20000, 20000, 1000), 0, GR_IMAGE_LOAD_TOO_LARGE,
         "image too large: 20000 x 20000 (over 268435456 pixels)"},
    };
    for (const auto& c : cases) {
        fs::path path = c.name == "photo" ? photo : dir.path / c.name;
        if (!c.bytes.empty())
            std::ofstream(path, std::ios::binary) << c.bytes;
        gr_image_load_s load = {};
        load.max_pixels = c.max_pixels;
        gr_image_s* image = gr_image_load_file(path.c_str(), &load);
        EXPECT_EQ(image != nullptr, c.status == GR_IMAGE_LOAD_OK) << c.name;
        EXPECT_EQ(load.status, c.status) << c.name << ": " << load.reason;
        EXPECT_NE(std::string(load.reason).find(c.reason), std::string::npos)
            << c.name << ": " << load.reason;
        gr_image_release(image);
    }
    EXPECT_EQ(gr_image_create_file(dir.path.c_str()), nullptr);
    EXPECT_EQ(gr_image_create_file(nullptr), nullptr);
    const std::string bomb = bmp_header(13435069, 12, 55);
    testing::internal::CaptureStdout();
    EXPECT_EQ(gr_image_create_data(int32_t(bomb.size()), bomb.data()), nullptr);
    testing::internal::GetCapturedStdout();
}

TEST(GrImageFile, JpegEncodesAndDecodesClose) {
    std::vector<uint32_t> px(32 * 32);
    for (int y = 0; y < 32; y++)
        for (int x = 0; x < 32; x++)
            px[y * 32 + x] = 0xFF000000u | uint32_t(x * 8) << 16 | uint32_t(y * 8) << 8 | 0x40;
    gr_image_s* im = gr_image_create_pixels(32, 32, px.data());
    uint32_t len = 0;
    unsigned char* jpg = gr_image_encode_jpeg(im, &len, 0.95f);
    ASSERT_NE(jpg, nullptr);
    EXPECT_EQ(jpg[0], 0xFF);
    EXPECT_EQ(jpg[1], 0xD8);
    testing::internal::CaptureStdout();
    gr_image_s* back = gr_image_create_data(int32_t(len), jpg);
    testing::internal::GetCapturedStdout();
    std::free(jpg);
    ASSERT_NE(back, nullptr);
    int worst = 0;
    for (int i = 0; i < 32 * 32; i++)
        for (int s = 0; s < 24; s += 8)
            worst = std::max(worst,
                             std::abs(int(back->pixels[i] >> s & 0xFF) - int(px[i] >> s & 0xFF)));
    EXPECT_LE(worst, 12);
    gr_image_release(back);
    gr_image_release(im);
}
