#pragma once
// Random numbers: the MT19937 generator that fills the reaction-diffusion grid
// with noise, and frand, the small generator behind painting noise in the view.

#include <cstdint>
#include <ctime>

// ---- MTRand ----------------------------------------------------------------

// A Mersenne Twister (MT19937). Given the same key it gives the same words as
// the published reference generator. Cheap to make; meant as a short-lived
// local. Thread: one instance per thread.
class MTRand {
public:
    static constexpr int N = 624;

    // Makes a generator seeded with the reference default (5489); call seed()
    // for a fresh one.
    MTRand();

    // Seeds from /dev/urandom (624 words). Falls back silently to the time and
    // the processor clock when the device cannot be opened or read in full.
    void seed();

    // Seeds as seed() does, reading the named entropy device instead.
    void seed_from(const char* device);

    // Seeds from one word (the reference single-word initialisation).
    void seed(uint32_t oneSeed);

    // Seeds from length key words (the reference array initialisation); only
    // the low 32 bits of each word count. length must be at least 1.
    void seed(const unsigned long* key, unsigned long length);

    // Returns the next 32-bit word.
    uint32_t rand_int();

    // Returns a uniform double on [0, n], both ends included.
    double rand_closed(double n) { return closed(rand_int(), n); }

    // Maps a word onto [0, n]: 0 gives 0.0, 0xFFFFFFFF gives n.
    static double closed(uint32_t word, double n) { return word * (1.0 / 4294967295.0) * n; }

    // Returns a seed made from a time and a processor clock reading; a
    // process-wide counter makes two calls with equal readings differ.
    // Thread: any.
    static uint32_t hash(time_t t, clock_t c);

private:
    void initialise(uint32_t oneSeed);
    void regenerate();

    uint32_t state_[N];
    int next_; // index of the next state word to temper
    int left_; // words left before the state must be regenerated
};

// ---- frand -----------------------------------------------------------------

// Returns a float on [0, 1) from a process-wide linear congruential generator
// that starts from the same seed in every process. Thread: main.
float frand(void);
