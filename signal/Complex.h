#pragma once

namespace selvik {

// One complex value as two single-precision floats, real part first. Arrays of
// Complex are laid out as re0, im0, re1, im1, ...
struct Complex {
    float re;
    float im;
};

static_assert(sizeof(Complex) == 2 * sizeof(float));

}  // namespace selvik
