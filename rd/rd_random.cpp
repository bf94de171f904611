#include "rd/rd_random.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>

#include "app/app_assert.h"
#include "rd/rd_internal.h"

// ---- MTRand ----------------------------------------------------------------

#define RD__MT_M 397
#define RD__MT_MATRIX 0x9908B0DFu
#define RD__MT_UPPER 0x80000000u
#define RD__MT_LOWER 0x7FFFFFFFu

// Makes fallback seeds taken in the same clock tick differ; an atomic so that
// two threads seeding at once still get distinct values.
static std::atomic<uint32_t> s_differ;

MTRand::MTRand() {
    seed(5489u);
}

void MTRand::seed() {
    seed_from("/dev/urandom");
}

void MTRand::seed_from(const char* device) {
    unsigned long key[N];
    int got = 0;
    if (FILE* file = std::fopen(device, "rb")) {
        while (got < N) {
            uint64_t item;
            if (std::fread(&item, sizeof item, 1, file) != 1)
                break;
            key[got++] = (unsigned long)item;
        }
        std::fclose(file);
    }
    if (got == N)
        seed(key, N);
    else
        seed(hash(std::time(nullptr), std::clock()));
}

void MTRand::seed(uint32_t oneSeed) {
    initialise(oneSeed);
    regenerate();
}

void MTRand::initialise(uint32_t oneSeed) {
    state_[0] = oneSeed;
    for (uint32_t i = 1; i < N; i++)
        state_[i] = 1812433253u * (state_[i - 1] ^ (state_[i - 1] >> 30)) + i;
}

void MTRand::seed(const unsigned long* key, unsigned long length) {
    SW_ASSERT(key && length > 0, "MTRand array seeding needs at least one key word");
    initialise(19650218u);
    uint32_t i = 1;
    unsigned long j = 0;
    for (unsigned long k = std::max(length, (unsigned long)N); k; k--) {
        uint32_t prev = state_[i - 1] ^ (state_[i - 1] >> 30);
        state_[i] = (state_[i] ^ (prev * 1664525u)) + (uint32_t)key[j] + (uint32_t)j;
        if (++i >= N) {
            state_[0] = state_[N - 1];
            i = 1;
        }
        if (++j >= length)
            j = 0;
    }
    for (int k = N - 1; k; k--) {
        uint32_t prev = state_[i - 1] ^ (state_[i - 1] >> 30);
        state_[i] = (state_[i] ^ (prev * 1566083941u)) - i;
        if (++i >= N) {
            state_[0] = state_[N - 1];
            i = 1;
        }
    }
    // The top bit alone keeps the state from being all zero.
    state_[0] = 0x80000000u;
    regenerate();
}

void MTRand::regenerate() {
    for (int k = 0; k < N; k++) {
        uint32_t y = (state_[k] & RD__MT_UPPER) | (state_[(k + 1) % N] & RD__MT_LOWER);
        state_[k] = state_[(k + RD__MT_M) % N] ^ (y >> 1) ^ ((y & 1u) ? RD__MT_MATRIX : 0u);
    }
    next_ = 0;
    left_ = N;
}

uint32_t MTRand::rand_int() {
    if (left_ == 0)
        regenerate();
    left_--;
    uint32_t y = state_[next_++];
    y ^= y >> 11;
    y ^= (y << 7) & 0x9D2C5680u;
    y ^= (y << 15) & 0xEFC60000u;
    y ^= y >> 18;
    return y;
}

uint32_t MTRand::hash(time_t t, clock_t c) {
    unsigned char bytes[sizeof t > sizeof c ? sizeof t : sizeof c];
    uint32_t h1 = 0;
    std::memcpy(bytes, &t, sizeof t);
    for (size_t i = 0; i < sizeof t; i++)
        h1 = h1 * 257u + bytes[i];
    uint32_t h2 = 0;
    std::memcpy(bytes, &c, sizeof c);
    for (size_t i = 0; i < sizeof c; i++)
        h2 = h2 * 257u + bytes[i];
    return (h1 + s_differ.fetch_add(1, std::memory_order_relaxed)) ^ h2;
}

// ---- frand -----------------------------------------------------------------

static uint32_t s_frandSeed = 0xBA5EBA11u;

float frand(void) {
    uint32_t t = s_frandSeed * 1103515245u + 12345u;
    s_frandSeed = t & 0x7FFFFFFFu;
    // The mantissa comes from the unmasked value.
    uint32_t bits = (t >> 8) | 0x3F800000u;
    float one_to_two;
    std::memcpy(&one_to_two, &bits, sizeof one_to_two);
    return one_to_two - 1.0f;
}

uint32_t rd__frand_seed(void) {
    return s_frandSeed;
}

void rd__frand_set_seed(uint32_t seed) {
    s_frandSeed = seed;
}
