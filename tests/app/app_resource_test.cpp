#include "app/app_resource.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "app_test_util.h"

namespace {

struct resource {
    unsigned size = 0;
    unsigned char* bytes = nullptr;
    explicit resource(const char* name)
        : bytes(static_cast<unsigned char*>(app_resource_load(name, &size))) {}
    ~resource() { std::free(bytes); }
};

unsigned be32(const unsigned char* p) {
    return unsigned(p[0]) << 24 | unsigned(p[1]) << 16 | unsigned(p[2]) << 8 | p[3];
}

} // namespace

TEST(AppResourceLoad, DecompressesToFreshCopiesOfTheSourceFiles) {
    const struct {
        const char *name, *source; // source: the packed file, null for a system font
    } cases[] = {{"icon256", "icon256.png"},
                 {"pixelwrenicons", "pixelwrenicons.ttf"},
                 {"RobotoLight", nullptr}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        resource r(c.name), again(c.name);
        ASSERT_NE(r.bytes, nullptr);
        ASSERT_GT(r.size, 12u);
        ASSERT_NE(r.bytes, again.bytes);
        r.bytes[0] ^= 0xFF; // the other copy stays as it was
        if (!c.source) {
            EXPECT_EQ(be32(again.bytes), 0x00010000u) << "a TrueType header";
            continue;
        }
        const std::string expected =
            app_test::contents(SW_SOURCE_DIR "/resources/" + std::string(c.source));
        ASSERT_EQ(again.size, expected.size());
        EXPECT_EQ(std::memcmp(again.bytes, expected.data(), again.size), 0);
    }
}

TEST(AppResourceLoad, UnknownNameGivesNullAndSizeZero) {
    for (const char* name : {"icon128", "", "robotolight", "RobotoLight ", (const char*)nullptr}) {
        unsigned size = 1234;
        EXPECT_EQ(app_resource_load(name, &size), nullptr) << (name ? name : "null");
        EXPECT_EQ(size, 0u) << (name ? name : "null");
    }
}
