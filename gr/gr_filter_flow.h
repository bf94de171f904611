#pragma once
// Line filters over the brightness: differences of two binomial blurs
// thresholded into black lines on white, isotropic or integrated along the
// edge tangent flow of a structure analysis, and line integral convolution of
// a colour image along that flow. Each returns a new image of the source's size
// with one reference for the caller, or null when memory runs out, and changes
// neither the source nor the analysis.
//
// Thread: the calling thread; no state is kept between calls. Nothing may run a
// flow pass on the analysis while a filter reads it.

#include <cstdint>

#include "gr/gr_complex.h"
#include "gr/gr_image.h"

// Returns the coherent line drawing (white 0xFFFFFFFF, black 0xFF000000) of
// image: brightness blurred with inner_radius and outer_radius (0..63), their
// difference (outer weighted by tau) averaged across the flow over
// cross_steps (0..63) unit steps each way, weighted by the unblurred
// brightness, then along the flow of cx over flow_steps (0..63) unit steps each
// way; a pixel is black where 1 + tanh of that response falls below threshold.
// cx must analyse an image of the same size. Owns: caller.
gr_image_s* gr_filter_fDoG(gr_image_s* image, const gr_complex* cx, int32_t inner_radius,
                           int32_t outer_radius, int32_t flow_steps, int32_t cross_steps, float tau,
                           float threshold);

// Returns the opaque colour image whose pixels average the source along the
// flow of cx (box of 2 flow_steps + 1 points) and across it (binomial of
// radius cross_steps, 0..63 each). cx must analyse an image of the same size.
// Owns: caller.
gr_image_s* gr_filter_LIC(gr_image_s* image, const gr_complex* cx, int32_t flow_steps,
                          int32_t cross_steps);

// Returns the isotropic line drawing: brightness blurred with inner_radius
// and outer_radius (0..63), black where B1 - tau B2 < 0 and 1 + tanh of it is
// below threshold, white elsewhere. Owns: caller.
gr_image_s* gr_filter_DoG(gr_image_s* image, int32_t inner_radius, int32_t outer_radius, float tau,
                          float threshold);
