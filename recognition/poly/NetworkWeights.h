#pragma once

#include <cstdint>

namespace selvik::poly {

// The trained network as data: written by recognition/poly/training/export.py
// into NetworkWeights.cpp, never by hand.
//
// The input of layer 0 (source -1) is the harmonic stack: for every frame,
// kNoteBins bins by kHarmonicCount channels, channel h of bin b being
// spectrogram bin b + kHarmonicShifts[h] (0 outside the spectrogram).
// Every layer is a 2-D convolution over (time, frequency) of the
// concatenation of its sources' outputs along channels, 'same' in time:
//   out[t][j][co] = bias[co] + sum over dt < kt, df < kf, ci < cin of
//       in[t + (dt - (kt - 1) / 2) * dilation][j * stride - pad + df][ci]
//       * weight[dt][df][ci][co]
// with inputs outside the frames or the bins counting as 0, then max(0, .)
// when relu is set. Frequency width: out = (in + 2 pad - kf) / stride + 1.
// The last layer's output channels are the logits of onset, sounding,
// offset and velocity per frame and note (kNetworkOutputs, 88 bins).
// Batch normalisation is already folded into the weights and biases.
inline constexpr int kMaxLayerSources = 4;
inline constexpr int kNetworkOutputs = 4;

struct ConvLayer {
    std::int32_t sources[kMaxLayerSources];  // earlier layers' indices, -1: the stack
    std::int32_t sourceCount;
    std::int32_t cin;
    std::int32_t cout;
    std::int32_t kt;
    std::int32_t kf;
    std::int32_t stride;
    std::int32_t pad;
    std::int32_t dilation;
    std::int32_t relu;
    // Into kNetworkWeights: kt * kf * cin * cout weights, then cout biases.
    std::int64_t offset;
};

extern const std::int32_t kHarmonicCount;
extern const std::int32_t kHarmonicShifts[];  // kHarmonicCount entries
extern const ConvLayer kNetworkLayers[];
extern const std::int32_t kNetworkLayerCount;
extern const float kNetworkWeights[];
extern const std::int64_t kNetworkWeightCount;

}  // namespace selvik::poly

namespace selvik::poly {

// The decoder's operating point found on the validation split when these
// weights were trained (NoteDecoder.h maps the user's threshold around it).
struct TunedDecoder {
    float onset;             // onset peak threshold
    float sounding;          // sounding threshold that carries a note
    std::int32_t gap;        // frames below it tolerated inside a note
    std::int32_t minFrames;  // shortest note kept, frames
    std::int32_t peakRadius; // frames on each side an onset peak must top
    float held;              // sounding threshold of notes without an onset peak
    std::int32_t heldFrames; // their shortest run, frames (0: none)
    float reonset;           // onset that repeats a sounding note (0: any peak)
    float offset;            // offset peak that ends a note (0: none; an export
                             // without it leaves it 0)
};

extern const TunedDecoder kTunedDecoder;

}  // namespace selvik::poly
