#include "app/app_resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

struct resource {
    unsigned size = 0;
    unsigned char* bytes = nullptr;
    explicit resource(const char* name)
        : bytes(static_cast<unsigned char*>(app_resource_load(name, &size))) {}
    ~resource() { std::free(bytes); }
};

std::vector<unsigned char> file_bytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

unsigned be32(const unsigned char* p) {
    return unsigned(p[0]) << 24 | unsigned(p[1]) << 16 | unsigned(p[2]) << 8 | p[3];
}

} // namespace

TEST(AppResourceLoad, Icon256IsA256SquareRgbaPng) {
    resource r("icon256");
    ASSERT_NE(r.bytes, nullptr);
    ASSERT_GT(r.size, 33u);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    EXPECT_EQ(std::memcmp(r.bytes, signature, 8), 0);
    EXPECT_EQ(std::memcmp(r.bytes + 12, "IHDR", 4), 0);
    EXPECT_EQ(be32(r.bytes + 16), 256u);
    EXPECT_EQ(be32(r.bytes + 20), 256u);
    EXPECT_EQ(r.bytes[24], 8);
    EXPECT_EQ(r.bytes[25], 6); // RGBA
}

TEST(AppResourceLoad, FontsStartWithTrueTypeHeader) {
    for (const char* name : {"RobotoLight", "pixelwrenicons"}) {
        resource r(name);
        ASSERT_NE(r.bytes, nullptr) << name;
        ASSERT_GT(r.size, 12u) << name;
        EXPECT_EQ(be32(r.bytes), 0x00010000u) << name;
    }
}

TEST(AppResourceLoad, DecompressesToTheSourceFiles) {
    const struct {
        const char* name;
        std::string path;
    } sources[] = {
        {"icon256", SW_SOURCE_DIR "/resources/icon256.png"},
        {"pixelwrenicons", SW_SOURCE_DIR "/resources/pixelwrenicons.ttf"},
    };
    for (const auto& s : sources) {
        resource r(s.name);
        std::vector<unsigned char> expected = file_bytes(s.path);
        ASSERT_FALSE(expected.empty()) << s.path;
        ASSERT_EQ(r.size, expected.size()) << s.name;
        EXPECT_EQ(std::memcmp(r.bytes, expected.data(), r.size), 0) << s.name;
    }
}

TEST(AppResourceLoad, EachCallReturnsAFreshCopy) {
    resource a("pixelwrenicons"), b("pixelwrenicons");
    ASSERT_NE(a.bytes, nullptr);
    ASSERT_NE(a.bytes, b.bytes);
    a.bytes[0] ^= 0xff;
    EXPECT_EQ(be32(b.bytes), 0x00010000u);
}

TEST(AppResourceLoad, UnknownNameGivesNullAndSizeZero) {
    for (const char* name : {"icon128", "", "robotolight", "RobotoLight "}) {
        unsigned size = 1234;
        EXPECT_EQ(app_resource_load(name, &size), nullptr) << name;
        EXPECT_EQ(size, 0u) << name;
    }
    unsigned size = 99;
    EXPECT_EQ(app_resource_load(nullptr, &size), nullptr);
    EXPECT_EQ(size, 0u);
}
