#pragma once
// Whole-image filters. Each returns a new image with one reference for the
// caller and leaves its input untouched, unless it says it works in place.
// Every filter that returns an image returns null when memory runs out.

#include <cstdint>

#include "gr/gr_image.h"

// Returns the image's RGB blurred with the binomial kernel of radius r
// (0 <= r <= 63), borders clamped, rounded to nearest; alpha is 255.
// Owns: caller.
gr_image_s* gr_filter_gaussian(gr_image_s* image, int32_t r);

// ---- resize -------------------------------------------------------------------------

// Largest side gr_filter_resize makes: each row stays addressable by the resampler.
constexpr uint32_t GR_FILTER_RESIZE_MAX_SIDE = 0x1FFFFFFF;

// Returns a new image holding the source scaled to width x height (height 0:
// width is the longer side, aspect kept, each side at least 1 pixel). Separable
// resampling, clamped edges, alpha filtered like a colour. A zero size or an
// empty source gives an image with no pixels. Returns null when a side would
// exceed GR_FILTER_RESIZE_MAX_SIDE or the pixel count 32 bits, or when out of
// memory. Owns: caller.
gr_image_s* gr_filter_resize(gr_image_s* image, uint32_t width, uint32_t height);

// ---- per-pixel colour filters ---------------------------------------------------------

// Returns the image graded through a 512 x 512 lookup image holding 64 blue
// slices of 64 x 64 (red across, green down), 8 x 8 slices. Returns null when
// lut is not 512 x 512. Owns: caller.
gr_image_s* gr_filter_3dlut(gr_image_s* image, gr_image_s* lut);

// Returns black where a's alpha is 32 or more and every RGB channel of a and b
// differs by less than threshold after scaling by mask's red / 255; white
// elsewhere. Returns null unless a, b and mask have the same size. Owns: caller.
gr_image_s* gr_filter_binary_diff(gr_image_s* a, gr_image_s* b, int32_t threshold,
                                  gr_image_s* mask);

// Returns the grey brightness stretched to the image's own range and eased
// with smoothstep (a uniform image gives black). Owns: caller.
gr_image_s* gr_filter_brightness(gr_image_s* image);

// Returns the RGB inverted (255 - c) with alpha 255. Owns: caller.
gr_image_s* gr_filter_invert(gr_image_s* image);

// Returns gr_color_lerp(a, b, t) per pixel. Returns null unless a and b have
// the same size. Owns: caller.
gr_image_s* gr_filter_lerp(gr_image_s* a, gr_image_s* b, float t);

// Returns each pixel replaced by the palette colour (of count) with the
// smallest gr_color_diff plus jitter x uniform(-1, 1) (rand()), clamped to 0..1;
// the first of equals wins. count <= 0 gives transparent black. Owns: caller.
gr_image_s* gr_filter_recolor(gr_image_s* image, int32_t count, const gr_color_t* palette,
                              float jitter);

// Fills every pixel in place with random RGB (three rand() calls) and alpha 255.
void gr_filter_noise(gr_image_s* image);

// Darkens RGB in place toward the corners: unchanged within half the
// half-size of the centre, black at the corners, smoothstep between; alpha kept.
void gr_filter_vignette(gr_image_s* image);

// ---- neighbourhood filters -------------------------------------------------------------

// Returns the image with each non-opaque pixel filled from the surrounding
// opaque colour (push-pull over up to 12 half-size levels); opaque pixels are
// kept and partly transparent ones blended toward the fill. Owns: caller.
gr_image_s* gr_filter_alpha_fill(gr_image_s* image);

// Returns the edge-preserving smoothing over the clamped (2 radius + 1)^2
// window: binomial spatial weights times a Gaussian of the colour difference
// with variance sigma. 0 <= radius <= 63, sigma >= 1; alpha 255. Owns: caller.
gr_image_s* gr_filter_bilateral(gr_image_s* image, int32_t radius, int32_t sigma);

// Returns each n x n block (cut at the right and bottom) filled with its pixel
// nearest to the block's mean colour. Returns null when n < 1. Owns: caller.
gr_image_s* gr_filter_decimate_median(gr_image_s* image, int32_t n);

// Returns per channel the maximum of RGB over the clamped 3 x 3
// neighbourhood; alpha 255. Owns: caller.
gr_image_s* gr_filter_dilate(gr_image_s* image);

// Returns per channel the minimum of RGB over the clamped 3 x 3
// neighbourhood; alpha 255. Owns: caller.
gr_image_s* gr_filter_erode(gr_image_s* image);

// Returns a tangent-space normal map of the brightness (5 x 5 derivative
// kernels, clamped): RGB = 127.5 n + 127.5, alpha 255; a flat image gives
// (127, 127, 255). Owns: caller.
gr_image_s* gr_filter_normalmap(gr_image_s* image, float strength);

// ---- geometry --------------------------------------------------------------------------

// Returns the w x h copy of the rectangle whose top-left is (x, y). Returns
// null when the rectangle does not lie inside the image. Owns: caller.
gr_image_s* gr_filter_crop(gr_image_s* image, uint32_t x, uint32_t y, uint32_t w, uint32_t h);

// Returns the image rotated by angle (radians) about its centre, sampled
// bilinearly with clamped coordinates. Owns: caller.
gr_image_s* gr_filter_rotate(gr_image_s* image, float angle);

// ---- distance fields -------------------------------------------------------------------

// Returns the grey signed distance field of the coverage 255 - green with a
// spread of 8 pixels: covered (dark) areas stay dark, 127 on the edge,
// rising to white 8 pixels outside. Owns: caller.
gr_image_s* gr_filter_distfield(gr_image_s* image);

// Returns the grey shape back from a distance field: green below 128 - spread
// gives black, above 128 + spread white, smoothstep between. Owns: caller.
gr_image_s* gr_filter_distfield_inv(gr_image_s* image, float spread);
