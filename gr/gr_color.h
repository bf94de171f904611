#pragma once
// Free functions on single 0xAARRGGBB colours and on lists of colours:
// brightness, interpolation and shading, perceptual difference, HSV and Lab
// conversions, nearest-colour search, palette extraction, histogram median.

#include <cstdint>

#include "gr/gr_image.h"

// Per-channel counts of one image: total N, then 256 bins for each channel.
struct gr_histogram_s {
    int32_t count;
    int32_t bins[3][256];
};

// ---- single colours -----------------------------------------------------------

// Returns (0.299 R + 0.587 G + 0.114 B) / 255 in 0..1.
float gr_color_brightness(gr_color_t c);

// Returns a + (b - a) * t per channel (alpha included), truncated; t is not clamped.
gr_color_t gr_color_lerp(gr_color_t a, gr_color_t b, float t);

// Returns the colour darkened by t: RGB toward 0, alpha toward opaque.
gr_color_t gr_color_darker(gr_color_t c, float t);

// Returns the colour lightened by t: every channel, alpha included, toward 255.
gr_color_t gr_color_lighter(gr_color_t c, float t);

// Returns the colour with its alpha byte replaced by a.
gr_color_t gr_color_with_alpha(gr_color_t c, uint32_t a);

// Writes red, green, blue, alpha as channel / 255 to out[4].
void gr_color_to_rgba(gr_color_t c, float* out);

// Returns the colour packed from floats (each * 255, truncated, not clamped).
gr_color_t gr_color_from_rgba(float r, float g, float b, float a);

// Returns dR^2 + dG^2 + dB^2.
int64_t gr_color_dist2(gr_color_t a, gr_color_t b);

// Returns the redmean difference scaled so that black to white is 1.0.
float gr_color_diff(gr_color_t a, gr_color_t b);

// Writes hue (0..1), saturation, value to out[3].
void gr_color_to_hsv(gr_color_t c, float* out);

// Returns the opaque colour for hue, saturation and value (0..1). Hue wraps, so
// 1.0 and -0.25 are the hues of 0.0 and 0.75; saturation 0 gives grey v.
gr_color_t gr_color_from_hsv(float h, float s, float v);

// Writes CIE L, a, b (of the 8-bit values, no gamma expansion) to out[3].
void gr_color_to_lab(gr_color_t c, float* out);

// Returns the opaque colour for lab[3], each channel rounded and clamped.
gr_color_t gr_color_from_lab(const float* lab);

// Returns the opaque colour with hue shifted by dh, saturation by ds, value by dv.
gr_color_t gr_color_jitter(gr_color_t c, float dh, float ds, float dv);

// ---- lists of colours -------------------------------------------------------------

// Returns the per-channel truncated mean of n >= 1 colours.
gr_color_t gr_color_average(int n, const gr_color_t* colours);

// Returns the index of the palette colour nearest to c (redmean); 0 when empty.
int gr_color_nearest(gr_color_t c, int n, const gr_color_t* palette);

// Reorders n colours in place into a greedy chain: each next colour is the one
// nearest (redmean) to its predecessor among those still after it, the first
// of equals winning. Lists of fewer than 3 are left unchanged.
void gr_color_sort(int n, gr_color_t* colours);

// Returns the palette of opaque colours that merges each input into the first
// entry closer than threshold (gr_color_diff), most frequent first; *count
// receives its length. Returns null (count 0) when out of memory. Owns: caller
// (free()), also for an empty palette.
gr_color_t* gr_color_palette_calc(int n, const gr_color_t* colours, int* count, float threshold);

// Returns k >= 1 opaque colours found by k-means over n >= 1 colours, started
// from colours picked with rand() (seed it for a repeatable result). Returns
// null when out of memory. Owns: caller (free()).
gr_color_t* gr_color_palette_kmeans(int n, const gr_color_t* colours, int k);

// Writes the median bin of each channel: the first non-empty bin that reaches
// half the total count; 256 when none does (an empty histogram).
void gr_histogram_median(const gr_histogram_s* histogram, int* m0, int* m1, int* m2);
