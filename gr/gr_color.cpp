// Colour utilities on 0xAARRGGBB words.

#include "gr/gr_color.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "app/app_assert.h"

// ---- channel helpers ------------------------------------------------------------

static inline int32_t color_alpha(gr_color_t c) {
    return (int32_t)((c >> 24) & 0xFF);
}
static inline int32_t color_red(gr_color_t c) {
    return (int32_t)((c >> 16) & 0xFF);
}
static inline int32_t color_green(gr_color_t c) {
    return (int32_t)((c >> 8) & 0xFF);
}
static inline int32_t color_blue(gr_color_t c) {
    return (int32_t)(c & 0xFF);
}

// Truncates toward zero and keeps the low byte, as an 8-bit store would; values
// outside 0..255 wrap instead of spilling into the neighbouring channel.
static inline uint32_t truncate_byte(float x) {
    return (uint32_t)(int32_t)x & 0xFF;
}

// Truncates and clamps to 0..255 (NaN gives 0).
static inline uint32_t clamp_byte(double x) {
    if (!(x > 0.0)) {
        return 0;
    }
    if (x >= 255.0) {
        return 255;
    }
    return (uint32_t)x;
}

static inline gr_color_t pack(uint32_t r, uint32_t g, uint32_t b, uint32_t a) {
    return (a << 24) | (r << 16) | (g << 8) | b;
}

// Integer redmean distance squared: red and blue differences weigh by the mean
// red, which tracks perceived difference far better than plain RGB distance.
static int64_t redmean2(gr_color_t c1, gr_color_t c2) {
    const int64_t r1 = color_red(c1);
    const int64_t r2 = color_red(c2);
    const int64_t rmean = (r1 + r2) >> 1;
    const int64_t dr = r1 - r2;
    const int64_t dg = (int64_t)color_green(c1) - color_green(c2);
    const int64_t db = (int64_t)color_blue(c1) - color_blue(c2);
    return (((512 + rmean) * dr * dr) >> 8) + 4 * dg * dg + (((767 - rmean) * db * db) >> 8);
}

// ---- single colours ---------------------------------------------------------------

float gr_color_brightness(gr_color_t c) {
    // Weights folded with 1 / 255; summed in double so that white lands on 1.
    double y = color_blue(c) * 0.0004470588235294118 + color_green(c) * 0.0023019607843137255;
    y += color_red(c) * 0.001172549019607843;
    return (float)y;
}

gr_color_t gr_color_lerp(gr_color_t a, gr_color_t b, float t) {
    gr_color_t out = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const int32_t ca = (int32_t)((a >> shift) & 0xFF);
        const int32_t cb = (int32_t)((b >> shift) & 0xFF);
        out |= truncate_byte((float)ca + (float)(cb - ca) * t) << shift;
    }
    return out;
}

gr_color_t gr_color_darker(gr_color_t c, float t) {
    const float r = (float)color_red(c);
    const float g = (float)color_green(c);
    const float b = (float)color_blue(c);
    const float a = (float)color_alpha(c);
    return pack(truncate_byte(r - r * t), truncate_byte(g - g * t), truncate_byte(b - b * t),
                truncate_byte(a + (255.0f - a) * t));
}

gr_color_t gr_color_lighter(gr_color_t c, float t) {
    const float r = (float)color_red(c);
    const float g = (float)color_green(c);
    const float b = (float)color_blue(c);
    const float a = (float)color_alpha(c);
    return pack(truncate_byte(r + (255.0f - r) * t), truncate_byte(g + (255.0f - g) * t),
                truncate_byte(b + (255.0f - b) * t), truncate_byte(a + (255.0f - a) * t));
}

gr_color_t gr_color_with_alpha(gr_color_t c, uint32_t a) {
    return (c & 0x00FFFFFF) | (a << 24);
}

void gr_color_to_rgba(gr_color_t c, float* out) {
    SW_ASSERT(out != nullptr, "gr_color_to_rgba needs an output of four floats");
    out[0] = (float)color_red(c) * 0.003921569f;
    out[1] = (float)color_green(c) * 0.003921569f;
    out[2] = (float)color_blue(c) * 0.003921569f;
    out[3] = (float)color_alpha(c) * 0.003921569f;
}

gr_color_t gr_color_from_rgba(float r, float g, float b, float a) {
    return pack(truncate_byte(r * 255.0f), truncate_byte(g * 255.0f), truncate_byte(b * 255.0f),
                truncate_byte(a * 255.0f));
}

int64_t gr_color_dist2(gr_color_t a, gr_color_t b) {
    const int64_t dr = (int64_t)color_red(a) - color_red(b);
    const int64_t dg = (int64_t)color_green(a) - color_green(b);
    const int64_t db = (int64_t)color_blue(a) - color_blue(b);
    return dr * dr + dg * dg + db * db;
}

float gr_color_diff(gr_color_t a, gr_color_t b) {
    // 0.0013074744 = 1 / 764.83, the redmean distance from black to white.
    return (float)(std::sqrt((double)redmean2(a, b)) * 0.0013074744);
}

void gr_color_to_hsv(gr_color_t c, float* out) {
    SW_ASSERT(out != nullptr, "gr_color_to_hsv needs an output of three floats");
    float r = (float)color_red(c) / 255.0f;
    float g = (float)color_green(c) / 255.0f;
    float b = (float)color_blue(c) / 255.0f;
    // Sort the channels so that r is the largest and g >= b, tracking in K the
    // hue sextant offset; tiny keeps greys and black away from 0 / 0.
    const float tiny = 1e-20f;
    float k = 0.0f;
    if (g < b) {
        std::swap(g, b);
        k = -1.0f;
    }
    if (r < g) {
        std::swap(r, g);
        k = -1.0f / 3.0f - k;
    }
    const float chroma = r - std::min(g, b);
    out[0] = std::fabs(k + (g - b) / (6.0f * chroma + tiny));
    out[1] = chroma / (r + tiny);
    out[2] = r;
}

gr_color_t gr_color_from_hsv(float h, float s, float v) {
    if (s == 0.0f) {
        const uint32_t grey = truncate_byte(v * 255.0f);
        return pack(grey, grey, grey, 255);
    }
    // Hue is cyclic: 1.0 (a full turn from the colour wheel) is red again, and
    // a negative shift from gr_color_jitter comes back into 0..1.
    h -= std::floor(h);
    float x = h * 6.0f;
    int i = (int)x;
    if (i > 5) {
        // h just below 1 can round up to 6 sextants: that is red.
        i = 0;
        x = 0.0f;
    }
    const float f = x - (float)i;
    const float p = v * (1.0f - s);
    const float q = v * (1.0f - f * s);
    const float t = v * (1.0f - (1.0f - f) * s);
    float r, g, b;
    switch (i) {
    case 0:
        r = v, g = t, b = p;
        break;
    case 1:
        r = q, g = v, b = p;
        break;
    case 2:
        r = p, g = v, b = t;
        break;
    case 3:
        r = p, g = q, b = v;
        break;
    case 4:
        r = t, g = p, b = v;
        break;
    default:
        r = v, g = p, b = q;
        break;
    }
    return pack(truncate_byte(r * 255.0f), truncate_byte(g * 255.0f), truncate_byte(b * 255.0f),
                255);
}

static double lab_f(double t) {
    return t > 0.008856 ? std::cbrt(t) : 7.787 * t + 16.0 / 116.0;
}

void gr_color_to_lab(gr_color_t c, float* out) {
    SW_ASSERT(out != nullptr, "gr_color_to_lab needs an output of three floats");
    const double r = color_red(c);
    const double g = color_green(c);
    const double b = color_blue(c);
    // XYZ of the 8-bit values, each divided by its white-point component and 255.
    const double y = (0.212671 * r + 0.71516 * g + 0.072169 * b) * 0.003921569;
    const double x = (0.412453 * r + 0.35758 * g + 0.180423 * b) * 0.004125986502742873;
    const double z = (0.019334 * r + 0.119193 * g + 0.950227 * b) * 0.0036018867691425065;
    const double fy = lab_f(y);
    // Each component carries +0.5 so that a later truncation rounds.
    out[0] = (float)(y > 0.008856 ? 116.0 * fy - 15.5 : 903.3 * y + 0.5);
    out[1] = (float)(500.0 * (lab_f(x) - fy) + 0.5);
    out[2] = (float)(200.0 * (fy - lab_f(z)) + 0.5);
}

static double lab_f_inverse(double f) {
    return f > 0.206893 ? f * f * f : (f - 16.0 / 116.0) * 0.1284191601386927;
}

gr_color_t gr_color_from_lab(const float* lab) {
    SW_ASSERT(lab != nullptr, "gr_color_from_lab needs three floats");
    const double l = lab[0];
    const double fy = (16.0 + l) * 0.008620689655172414;
    double y = fy * fy * fy;
    if (!(y >= 0.008856)) {
        y = l * 0.0011070519207350825;
    }
    const double fy2 = lab_f(y);
    const double x = lab_f_inverse(fy2 + lab[1] * 0.002) * 242.36628;
    const double z = lab_f_inverse(fy2 - lab[2] * 0.005) * 277.63227;
    y *= 255.0;
    const double r = 3.240479 * x - 1.53715 * y - 0.498535 * z;
    const double g = -0.969256 * x + 1.875992 * y + 0.041556 * z;
    const double b = 0.055648 * x - 0.204043 * y + 1.057311 * z;
    return pack(clamp_byte(r + 0.5), clamp_byte(g + 0.5), clamp_byte(b + 0.5), 255);
}

gr_color_t gr_color_jitter(gr_color_t c, float dh, float ds, float dv) {
    float hsv[3];
    gr_color_to_hsv(c, hsv);
    const float s = std::clamp(hsv[1] + ds, 0.0f, 1.0f);
    const float v = std::clamp(hsv[2] + dv, 0.0f, 1.0f);
    // A saturation of 0 gives grey v whatever the hue.
    return gr_color_from_hsv((float)std::fmod(hsv[0] + dh, 1.0), s, v);
}

// ---- lists of colours ---------------------------------------------------------------

gr_color_t gr_color_average(int n, const gr_color_t* colours) {
    SW_ASSERT(n >= 1 && colours != nullptr, "gr_color_average needs at least one colour");
    int64_t sum[4] = {0, 0, 0, 0};
    for (int i = 0; i < n; ++i) {
        for (int ch = 0; ch < 4; ++ch) {
            sum[ch] += (colours[i] >> (8 * ch)) & 0xFF;
        }
    }
    gr_color_t out = 0;
    for (int ch = 0; ch < 4; ++ch) {
        out |= (gr_color_t)(sum[ch] / n) << (8 * ch);
    }
    return out;
}

int gr_color_nearest(gr_color_t c, int n, const gr_color_t* palette) {
    SW_ASSERT(n <= 0 || palette != nullptr, "gr_color_nearest needs a palette of n colours");
    // Larger than any redmean distance between two colours (584970).
    int64_t best = 0x100000;
    int index = 0;
    for (int i = 0; i < n; ++i) {
        const int64_t d = redmean2(c, palette[i]);
        if (d < best) {
            best = d;
            index = i;
        }
    }
    return index;
}

void gr_color_sort(int n, gr_color_t* colours) {
    SW_ASSERT(n <= 0 || colours != nullptr, "gr_color_sort needs n colours");
    for (int i = 0; i + 2 < n; ++i) {
        const int next = i + 1 + gr_color_nearest(colours[i], n - i - 1, colours + i + 1);
        std::swap(colours[i + 1], colours[next]);
    }
}

namespace {

struct palette_entry_s {
    gr_color_t color; // the means as a colour, compared against new inputs
    int32_t count;    // inputs merged into this entry
    float r, g, b;    // running means in 0..1
};

} // namespace

static gr_color_t entry_color(const palette_entry_s& e) {
    return pack(truncate_byte(e.r * 255.0f), truncate_byte(e.g * 255.0f),
                truncate_byte(e.b * 255.0f), 255);
}

gr_color_t* gr_color_palette_calc(int n, const gr_color_t* colours, int* count, float threshold) {
    SW_ASSERT(count != nullptr, "gr_color_palette_calc needs somewhere to put the count");
    SW_ASSERT(n <= 0 || colours != nullptr, "gr_color_palette_calc needs n colours");
    *count = 0;
    int used = 0;
    int capacity = 2;
    palette_entry_s* entries = (palette_entry_s*)malloc(sizeof(palette_entry_s) * capacity);
    if (entries == nullptr) {
        return nullptr;
    }
    for (int i = 0; i < n; ++i) {
        const gr_color_t c = colours[i];
        const float r = (float)color_red(c) / 255.0f;
        const float g = (float)color_green(c) / 255.0f;
        const float b = (float)color_blue(c) / 255.0f;
        palette_entry_s* match = nullptr;
        for (int j = 0; j < used; ++j) {
            if (gr_color_diff(c, entries[j].color) < threshold) {
                match = &entries[j];
                break;
            }
        }
        if (match != nullptr) {
            match->count += 1;
            const float w = (float)match->count;
            match->r += (r - match->r) / w;
            match->g += (g - match->g) / w;
            match->b += (b - match->b) / w;
            match->color = entry_color(*match);
            continue;
        }
        if (used == capacity) {
            capacity *= 2;
            palette_entry_s* grown =
                (palette_entry_s*)realloc(entries, sizeof(palette_entry_s) * capacity);
            if (grown == nullptr) {
                free(entries);
                return nullptr;
            }
            entries = grown;
        }
        entries[used++] = palette_entry_s{c, 1, r, g, b};
    }
    // Most frequent first; the order among equal counts is not kept.
    std::sort(entries, entries + used,
              [](const palette_entry_s& x, const palette_entry_s& y) { return x.count > y.count; });
    gr_color_t* out = (gr_color_t*)malloc(sizeof(gr_color_t) * (size_t)std::max(used, 1));
    if (out != nullptr) {
        for (int j = 0; j < used; ++j) {
            out[j] = entry_color(entries[j]);
        }
        *count = used;
    }
    free(entries);
    return out;
}

gr_color_t* gr_color_palette_kmeans(int n, const gr_color_t* colours, int k) {
    SW_ASSERT(n >= 1 && colours != nullptr, "gr_color_palette_kmeans needs at least one colour");
    SW_ASSERT(k >= 1, "gr_color_palette_kmeans needs at least one centre");
    gr_color_t* out = (gr_color_t*)calloc((size_t)k, sizeof(gr_color_t));
    float* centres = (float*)malloc(sizeof(float) * 3 * (size_t)k);
    double* sums = (double*)malloc(sizeof(double) * 3 * (size_t)k);
    int* members = (int*)malloc(sizeof(int) * (size_t)k);
    if (out == nullptr || centres == nullptr || sums == nullptr || members == nullptr) {
        free(out);
        free(centres);
        free(sums);
        free(members);
        return nullptr;
    }
    for (int j = 0; j < k; ++j) {
        const gr_color_t c = colours[rand() % n];
        centres[3 * j + 0] = (float)color_red(c) / 255.0f;
        centres[3 * j + 1] = (float)color_green(c) / 255.0f;
        centres[3 * j + 2] = (float)color_blue(c) / 255.0f;
    }
    for (int round = 0; round < 16; ++round) {
        std::fill(sums, sums + 3 * k, 0.0);
        std::fill(members, members + k, 0);
        for (int i = 0; i < n; ++i) {
            const float r = (float)color_red(colours[i]) / 255.0f;
            const float g = (float)color_green(colours[i]) / 255.0f;
            const float b = (float)color_blue(colours[i]) / 255.0f;
            int best = 0;
            float best_d = 0.0f;
            for (int j = 0; j < k; ++j) {
                const float dr = r - centres[3 * j + 0];
                const float dg = g - centres[3 * j + 1];
                const float db = b - centres[3 * j + 2];
                const float d = dr * dr + dg * dg + db * db;
                if (j == 0 || d < best_d) {
                    best = j;
                    best_d = d;
                }
            }
            sums[3 * best + 0] += r;
            sums[3 * best + 1] += g;
            sums[3 * best + 2] += b;
            members[best] += 1;
        }
        bool changed = false;
        for (int j = 0; j < k; ++j) {
            // A centre that drew no colours stays where it is.
            if (members[j] > 0) {
                for (int ch = 0; ch < 3; ++ch) {
                    centres[3 * j + ch] = (float)(sums[3 * j + ch] / members[j]);
                }
            }
            const gr_color_t c = pack(truncate_byte(centres[3 * j + 0] * 255.0f),
                                      truncate_byte(centres[3 * j + 1] * 255.0f),
                                      truncate_byte(centres[3 * j + 2] * 255.0f), 255);
            changed = changed || c != out[j];
            out[j] = c;
        }
        if (!changed) {
            break;
        }
    }
    free(centres);
    free(sums);
    free(members);
    return out;
}

void gr_histogram_median(const gr_histogram_s* histogram, int* m0, int* m1, int* m2) {
    SW_ASSERT(histogram != nullptr && m0 != nullptr && m1 != nullptr && m2 != nullptr,
              "gr_histogram_median needs a histogram and three outputs");
    int* medians[3] = {m0, m1, m2};
    for (int ch = 0; ch < 3; ++ch) {
        const int32_t* bins = histogram->bins[ch];
        int32_t rem = histogram->count / 2;
        int median = 256;
        for (int i = 0; i < 256; ++i) {
            // Empty bins never hold the median: with a single pixel rem is 0,
            // and bin 0 would otherwise win whatever its count.
            if (bins[i] > 0 && rem <= bins[i]) {
                median = i;
                break;
            }
            rem -= bins[i];
        }
        *medians[ch] = median;
    }
}
