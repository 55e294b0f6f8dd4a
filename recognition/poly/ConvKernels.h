#pragma once

// Private to the network: one output frame of one convolution layer, with a
// plain C++ path that builds everywhere and an AVX2 + FMA path on x86-64.

#include <cstdint>

namespace selvik::poly::detail {

// One output frame: out[j][co] for j < widthOut, co < coutPadded.
// rows[dt] is the input frame read by tap dt: widthIn bins of cin values
// (never null; a frame outside the recording is a row of zeros).
// weights: [kt][kf][cin][coutPadded], bias: [coutPadded] (coutPadded is a
// multiple of 8; the padding channels have zero weights and bias).
struct ConvFrame {
    const float* const* rows;
    std::int32_t kt;
    std::int32_t kf;
    std::int32_t cin;
    std::int32_t widthIn;
    std::int32_t widthOut;
    std::int32_t stride;
    std::int32_t pad;
    std::int32_t coutPadded;
    bool relu;
    const float* weights;
    const float* bias;
    float* out;
};

void convFrameScalar(const ConvFrame& c);
#if defined(SELVIK_POLY_AVX2)
void convFrameAvx2(const ConvFrame& c);
#endif

// Runs the fastest path the processor has (decided once).
void convFrame(const ConvFrame& c);

// Keeps the network on the plain path, so tests can compare both on one
// machine. Not meant to change while networks run on other threads.
void useScalarKernelsOnly(bool scalarOnly);
bool usingVectorKernels();

}  // namespace selvik::poly::detail
