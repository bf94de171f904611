#pragma once
// Whole-image filters. Each returns a new image with one reference for the
// caller and leaves its input untouched.

#include <cstdint>

#include "gr/gr_image.h"

// Returns the image's RGB blurred with the binomial kernel of radius r
// (0 <= r <= 63), borders clamped, rounded to nearest; alpha is 255.
// Owns: caller.
gr_image_s* gr_filter_gaussian(gr_image_s* image, int32_t r);
