#include "rd/rd_random.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <random>
#include <vector>

#include "rd/rd_internal.h"

TEST(MTRand, ArraySeedingMatchesTheReferenceOutputs) {
    const unsigned long key[] = {0x123, 0x234, 0x345, 0x456};
    MTRand mt;
    mt.seed(key, 4);
    for (uint32_t word : {1067595299u, 955945823u, 477289528u, 4107218783u, 4228976476u})
        EXPECT_EQ(mt.rand_int(), word);
}

TEST(MTRand, OneWordSeedingMatchesTheStandardLibraryAndDefaultsTo5489) {
    for (uint32_t s : {5489u, 0u, 1u, 0xBA5EBA11u, 0xFFFFFFFFu}) {
        MTRand mt;
        mt.seed(s);
        std::mt19937 reference(s);
        for (int i = 0; i < 5000; i++) // several regenerations of the state
            ASSERT_EQ(mt.rand_int(), reference()) << "seed " << s << " word " << i;
    }
    MTRand fresh;
    for (int i = 0; i < 9999; i++)
        fresh.rand_int();
    EXPECT_EQ(fresh.rand_int(), 4123659995u); // the 10000th word for seed 5489
}

TEST(MTRand, KeySeedingCountsOnlyTheLow32BitsAndStartsOver) {
    std::vector<unsigned long> low(MTRand::N), high(MTRand::N);
    for (int i = 0; i < MTRand::N; i++) {
        low[i] = (unsigned long)(i * 2654435761u);
        high[i] = low[i] | (0xABCDEF01ul << 32);
    }
    MTRand a, b;
    a.seed(low.data(), MTRand::N);
    for (int i = 0; i < 100; i++)
        a.rand_int();
    a.seed(low.data(), MTRand::N); // reseeding starts over
    b.seed(high.data(), MTRand::N);
    for (int i = 0; i < 2000; i++)
        ASSERT_EQ(a.rand_int(), b.rand_int());
}

TEST(MTRand, DeviceAndFallbackSeedsInTheSameTickDiffer) {
    auto differ = [](MTRand& a, MTRand& b) {
        int same = 0;
        for (int i = 0; i < 16; i++)
            same += a.rand_int() == b.rand_int();
        return same < 16;
    };
    MTRand a, b;
    a.seed();
    b.seed();
    EXPECT_TRUE(differ(a, b));
    for (const char* device : {"/nonexistent/spotweave-entropy", "/dev/null"}) {
        a.seed_from(device);
        b.seed_from(device);
        EXPECT_TRUE(differ(a, b)) << device;
    }
}

TEST(MTRand, HashesTimeAndClockBytesLowestFirst) {
    const uint32_t a = MTRand::hash(0, 0); // the counter itself
    EXPECT_EQ(MTRand::hash(0, 0), a + 1);
    // One byte 1 at the lowest address of t, then seven zero bytes: 257^7.
    EXPECT_EQ(MTRand::hash(1, 0), 588580609u + a + 2);
    EXPECT_EQ(MTRand::hash(0, 1), (a + 3) ^ 588580609u);
}

TEST(MTRand, ClosedRangeReachesBothEnds) {
    EXPECT_EQ(MTRand::closed(0u, 2.0) - 1.0, -1.0);
    EXPECT_EQ(MTRand::closed(0xFFFFFFFFu, 2.0) - 1.0, 1.0);
    EXPECT_EQ(MTRand::closed(0xFFFFFFFFu, 1.0), 1.0);
    EXPECT_DOUBLE_EQ(MTRand::closed(1u, 2.0), 4.656612874161595e-10);
}

namespace {

// Restores the process-wide seed a test changed.
struct FrandSeedGuard {
    uint32_t saved = rd__frand_seed();
    ~FrandSeedGuard() { rd__frand_set_seed(saved); }
};

float referenceFrand(uint32_t* seed) {
    uint32_t t = *seed * 1103515245u + 12345u;
    *seed = t & 0x7FFFFFFFu;
    uint32_t bits = (t >> 8) | 0x3F800000u;
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f - 1.0f;
}

} // namespace

TEST(Frand, FollowsTheGeneratorAndStoresTheMaskedSeed) {
    FrandSeedGuard guard;
    rd__frand_set_seed(0xBA5EBA11u);
    EXPECT_EQ(frand(), 0.8841732740402222f); // t = 0x712C9776
    EXPECT_EQ(rd__frand_seed(), 0x712C9776u);
    rd__frand_set_seed(2u); // 2 * 1103515245 + 12345 = 0x838CCD13: top bit set
    uint32_t reference = 2u;
    EXPECT_EQ(frand(), referenceFrand(&reference));
    EXPECT_EQ(rd__frand_seed(), 0x038CCD13u);
    for (int i = 0; i < 1000000; i++) {
        const float v = frand();
        ASSERT_EQ(v, referenceFrand(&reference));
        ASSERT_TRUE(v >= 0.0f && v < 1.0f);
    }
}

TEST(FrandDeathTest, StartsFrom0xBA5EBA11InEveryProcess) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    EXPECT_EXIT(
        std::exit(rd__frand_seed() == 0xBA5EBA11u && frand() == 0.8841732740402222f ? 0 : 3),
        testing::ExitedWithCode(0), "");
}
