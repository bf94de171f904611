#pragma once
// Helpers shared inside the graphics subsystem. Not for other folders.

#include <cstdint>

// Largest smoothing radius whose binomial kernel sum (4^r) fits a float.
constexpr int32_t GR__GAUSSIAN_MAX_RADIUS = 63;

// Returns 2r + 1 taps of 1.0. Owns: caller (free()).
float* gr__boxCoefficients(int32_t r);

// Returns the binomial coefficients (2r choose k), k = 0 .. 2r; their sum is
// 4^r. Owns: caller (free()).
float* gr__gaussianCoefficients(int32_t r);

// Smooths a width x height float plane in place with the binomial kernel of
// radius r, first along x then along y; clamped taps repeat the border sample.
void gr__gaussianConvolve(int32_t width, int32_t height, float* plane, int32_t r);
