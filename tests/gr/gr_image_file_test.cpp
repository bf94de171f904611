// Image files: PNG round trip, decoding, JPEG; a failed save leaves nothing behind.

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <utility>
#include <vector>

#include "gr_filter_test_util.h"

namespace fs = std::filesystem;
using grt::Image;

namespace {

struct TempDir {
    fs::path path;
    TempDir() {
        char tmpl[] = "/tmp/sw_gr_file_XXXXXX";
        path = mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path); }
};

std::vector<unsigned char> read_all(const fs::path& p) {
    std::ifstream f(p, std::ios::binary);
    return {std::istreambuf_iterator<char>(f), std::istreambuf_iterator<char>()};
}

// Decodes encoded bytes, checking the line the decoder prints first.
Image decode(const void* bytes, uint32_t len) {
    testing::internal::CaptureStdout();
    Image back(gr_image_create_data(int32_t(len), bytes));
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Loading " + std::to_string(len) + " bytes...\n");
    return back;
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

} // namespace

TEST(GrImageFile, PngSavedOverAFileRoundTripsEveryWordIncludingAlpha) {
    TempDir dir;
    Image im = grt::random_image(37, 23, 11, false);
    uint32_t len = 0;
    unsigned char* png = gr_image_encode_png(im.get(), &len);
    ASSERT_NE(png, nullptr);
    ASSERT_GT(len, 8u);
    EXPECT_EQ(std::memcmp(png, "\x89PNG\r\n\x1a\n", 8), 0);
    Image back = decode(png, len);
    ASSERT_NE(back, nullptr);
    ASSERT_EQ(std::pair(gr_image_get_width(back.get()), gr_image_get_height(back.get())),
              std::pair(37u, 23u));
    EXPECT_EQ(grt::pixels(back.get()), grt::pixels(im.get()));
    // The file is that PNG whatever its extension, replacing a longer file whole.
    const fs::path p = dir.path / "out.jpg";
    std::ofstream(p) << std::string(100000, 'x');
    ASSERT_TRUE(gr_image_save_file(im.get(), p.c_str()));
    EXPECT_EQ(read_all(p), std::vector<unsigned char>(png, png + len));
    std::free(png);
    EXPECT_FALSE(gr_image_save_file(im.get(), (dir.path / "nope" / "out.png").c_str()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path), fs::directory_iterator()), 1)
        << "no temporary file, no folder left beside it";
    const char junk[] = "this is not an image at all";
    EXPECT_EQ(decode(junk, sizeof junk), nullptr);
}

TEST(GrImageFile, FileLoaderMakesSemiTransparentPixelsOpaqueOverBlack) {
    TempDir dir;
    // (v * a + 127) / 255: 1, 2, 3 under alpha 254 round to 1, 2, 3, not 0, 1, 2.
    const uint32_t px[6] = {0x80FF0000, 0x00FFFFFF, 0xFF00FF00, 0x40404040, 0xFE010203, 0xFE808080};
    Image im(gr_image_create_pixels(3, 2, px));
    const fs::path p = dir.path / "alpha.png";
    ASSERT_TRUE(gr_image_save_file(im.get(), p.c_str()));
    EXPECT_EQ(grt::result(gr_image_create_file(p.c_str())),
              (std::vector<uint32_t>{0xFF800000u, 0xFF000000u, 0xFF00FF00u, 0xFF101010u,
                                     0xFF010203u, 0xFF7F7F7Fu}));
}

TEST(GrImageFile, FileLoaderReadsTheSamplePhotosAtNativeSize) {
    const struct {
        const char* name;
        uint32_t w, h;
        bool grey;
    } cases[] = {{"camera_512x512_grey.png", 512, 512, true},
                 {"cat_451x300_rgba.png", 451, 300, false},
                 {"sunset_534x356_rgb16.png", 534, 356, false},
                 {"mountains_2048x1536.jpg", 2048, 1536, false},
                 {"dogs_portrait_512x769_rgb.png", 512, 769, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Image im = grt::photo(c.name);
        ASSERT_NE(im, nullptr);
        EXPECT_EQ(std::pair(gr_image_get_width(im.get()), gr_image_get_height(im.get())),
                  std::pair(c.w, c.h));
        uint32_t and_alpha = 0xFF, colour = 0;
        const uint32_t* px = im->pixels;
        for (size_t i = 0; i < size_t(c.w) * c.h; i++) {
            const uint32_t p = px[i];
            and_alpha &= p >> 24;
            colour |= ((p >> 16) ^ p) | ((p >> 8) ^ p);
        }
        EXPECT_EQ(and_alpha, 0xFFu) << "opaque";
        EXPECT_EQ((colour & 0xFF) == 0, c.grey) << "grey has equal channels";
    }
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
        Image image(gr_image_load_file(path.c_str(), &load));
        EXPECT_EQ(image != nullptr, c.status == GR_IMAGE_LOAD_OK) << c.name;
        EXPECT_EQ(load.status, c.status) << c.name << ": " << load.reason;
        EXPECT_NE(std::string(load.reason).find(c.reason), std::string::npos)
            << c.name << ": " << load.reason;
    }
    EXPECT_EQ(gr_image_create_file(dir.path.c_str()), nullptr);
    EXPECT_EQ(gr_image_create_file(nullptr), nullptr);
    const std::string bomb = bmp_header(13435069, 12, 55);
    EXPECT_EQ(decode(bomb.data(), uint32_t(bomb.size())), nullptr);
}

TEST(GrImageFile, JpegEncodesAndDecodesClose) {
    Image im = grt::painted(32, 32, [](int x, int y) {
        return 0xFF000000u | uint32_t(x * 8) << 16 | uint32_t(y * 8) << 8 | 0x40;
    });
    uint32_t len = 0;
    unsigned char* jpg = gr_image_encode_jpeg(im.get(), &len, 0.95f);
    ASSERT_NE(jpg, nullptr);
    EXPECT_EQ(jpg[0] << 8 | jpg[1], 0xFFD8) << "JPEG start of image";
    Image back = decode(jpg, len);
    std::free(jpg);
    ASSERT_NE(back, nullptr);
    int worst = 0;
    for (size_t i = 0; i < 32 * 32; i++)
        worst = std::max(worst, grt::max_rgb_error(back->pixels[i], im->pixels[i]));
    EXPECT_LE(worst, 12);
}
