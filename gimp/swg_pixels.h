#pragma once
// The samples the GIMP plug-in exchanges with a drawable, turned into the
// engine's pictures and back. The plug-in reads a region as 8-bit samples
// (Y'A or R'G'B'A, in the drawable's colour space) and writes the result as
// floats with each pixel's own alpha, so GEGL converts both ways into whatever
// precision the drawable has.

#include <cstdint>

#include "gr/gr_image.h"

// Returns a new opaque picture of width x height pixels from 8-bit samples
// (channels 2: Y'A, grey copied into R, G and B; 4: R'G'B'A), rows packed, top
// row first. Colours under partial transparency are composited over black with
// rounding, (v * a + 127) / 255, as the engine's file loader does. Returns null
// for other channel counts, a size below 1 or when memory runs out.
// Owns: caller.
gr_image_s* swg_pixels_to_picture(const uint8_t* samples, int channels, int32_t width,
                                  int32_t height);

// Replaces the colour of every pixel in samples (floats 0..1, channels 2: Y'A
// or 4: R'G'B'A, rows packed, the size of result) with result's colour (for
// Y'A its grey, taken from green: the engine's results are grey), keeping each
// pixel's alpha exactly.
void swg_pixels_put_colour(float* samples, int channels, const gr_image_s* result);
