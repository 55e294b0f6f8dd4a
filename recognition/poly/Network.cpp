#include "recognition/poly/Network.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "recognition/poly/ConvKernels.h"
#include "recognition/poly/NetworkWeights.h"
#include "recognition/poly/Spectrogram.h"

namespace selvik::poly {

namespace {

constexpr std::int32_t kStackSource = -1;

std::int32_t paddedTo8(std::int32_t n) { return (n + 7) / 8 * 8; }

// A layer as the kernels want it: output channels padded to a multiple of 8
// and the input channels of every source taken at its padded width, the
// padding carrying zero weights.
struct PreparedLayer {
    std::vector<std::int32_t> sources;
    std::int32_t cinPadded = 0;
    std::int32_t coutPadded = 0;
    std::int32_t widthIn = 0;
    std::int32_t widthOut = 0;
    std::int32_t radius = 0;  // frames on each side the layer reads
    std::int32_t lag = 0;     // its output frame trails the input frame by this much
    std::int32_t ring = 1;    // output frames kept
    std::vector<float> weights;
    std::vector<float> bias;
};

struct Prepared {
    std::vector<PreparedLayer> layers;
    std::int32_t stackRing = 1;
    std::int32_t maxRow = 0;
    std::int64_t multiplyAdds = 0;
};

Prepared prepare() {
    Prepared p;
    const std::int32_t count = kNetworkLayerCount;
    p.layers.resize(static_cast<std::size_t>(count));
    auto channelsOf = [&](std::int32_t s) {
        return s == kStackSource ? kHarmonicCount : p.layers[static_cast<std::size_t>(s)].coutPadded;
    };
    auto widthOf = [&](std::int32_t s) {
        return s == kStackSource ? kNoteBins : p.layers[static_cast<std::size_t>(s)].widthOut;
    };
    auto lagOf = [&](std::int32_t s) { return s == kStackSource ? 0 : p.layers[static_cast<std::size_t>(s)].lag; };
    p.maxRow = kNoteBins * kHarmonicCount;
    for (std::int32_t l = 0; l < count; ++l) {
        const ConvLayer& c = kNetworkLayers[l];
        PreparedLayer& q = p.layers[static_cast<std::size_t>(l)];
        q.sources.assign(c.sources, c.sources + c.sourceCount);
        q.coutPadded = paddedTo8(c.cout);
        q.widthIn = widthOf(q.sources[0]);
        q.widthOut = (q.widthIn + 2 * c.pad - c.kf) / c.stride + 1;
        q.radius = c.dilation * (c.kt - 1) / 2;
        for (std::int32_t s : q.sources) {
            q.cinPadded += channelsOf(s);
            q.lag = std::max(q.lag, lagOf(s) + q.radius);
        }
        // [kt][kf][cin][cout] of the file, spread over the padded channels.
        q.weights.assign(static_cast<std::size_t>(c.kt) * c.kf * q.cinPadded * q.coutPadded, 0.0f);
        q.bias.assign(static_cast<std::size_t>(q.coutPadded), 0.0f);
        const float* w = kNetworkWeights + c.offset;
        for (std::int32_t dt = 0; dt < c.kt; ++dt) {
            for (std::int32_t df = 0; df < c.kf; ++df) {
                std::int32_t fileChannel = 0;
                std::int32_t paddedChannel = 0;
                for (std::int32_t s : q.sources) {
                    const std::int32_t real = s == kStackSource ? kHarmonicCount : kNetworkLayers[s].cout;
                    for (std::int32_t ci = 0; ci < real; ++ci) {
                        for (std::int32_t co = 0; co < c.cout; ++co) {
                            const std::size_t from = ((static_cast<std::size_t>(dt) * c.kf + df) * c.cin +
                                                      static_cast<std::size_t>(fileChannel + ci)) * c.cout + co;
                            const std::size_t to = ((static_cast<std::size_t>(dt) * c.kf + df) * q.cinPadded +
                                                    static_cast<std::size_t>(paddedChannel + ci)) * q.coutPadded + co;
                            q.weights[to] = w[from];
                        }
                    }
                    fileChannel += real;
                    paddedChannel += channelsOf(s);
                }
            }
        }
        const float* b = w + static_cast<std::int64_t>(c.kt) * c.kf * c.cin * c.cout;
        for (std::int32_t co = 0; co < c.cout; ++co) q.bias[static_cast<std::size_t>(co)] = b[co];
        p.maxRow = std::max({p.maxRow, q.widthIn * q.cinPadded, q.widthOut * q.coutPadded});
        p.multiplyAdds += static_cast<std::int64_t>(c.kt) * c.kf * c.cin * c.cout * q.widthOut;
    }
    // A source's frames must reach back to the oldest frame any reader needs.
    for (std::int32_t l = 0; l < count; ++l) {
        const PreparedLayer& q = p.layers[static_cast<std::size_t>(l)];
        for (std::int32_t s : q.sources) {
            const std::int32_t need = q.lag + q.radius - lagOf(s) + 1;
            if (s == kStackSource) {
                p.stackRing = std::max(p.stackRing, need);
            } else {
                PreparedLayer& src = p.layers[static_cast<std::size_t>(s)];
                src.ring = std::max(src.ring, need);
            }
        }
    }
    return p;
}

const Prepared& prepared() {
    static const Prepared instance = prepare();
    return instance;
}

// Frames of one layer's output (or of the stack), kept in a ring.
class FrameRing {
public:
    FrameRing(std::int32_t frames, std::int32_t rowFloats)
        : frames_(frames), rowFloats_(rowFloats),
          data_(static_cast<std::size_t>(frames) * static_cast<std::size_t>(rowFloats), 0.0f) {}
    float* slot(std::int64_t t) {
        return data_.data() + static_cast<std::size_t>(t % frames_) * static_cast<std::size_t>(rowFloats_);
    }

private:
    std::int32_t frames_;
    std::int32_t rowFloats_;
    std::vector<float> data_;
};

float sigmoid(float x) { return 1.0f / (1.0f + std::exp(-x)); }

}  // namespace

std::int64_t networkMultiplyAdds() { return prepared().multiplyAdds; }

NetworkOutput runNetwork(const float* features, std::int64_t frames,
                         bool (*frameDone)(void*, std::int64_t), void* context) {
    const Prepared& p = prepared();
    NetworkOutput result;
    if (frames <= 0) return result;
    const std::int32_t count = static_cast<std::int32_t>(p.layers.size());
    const std::vector<float> zeros(static_cast<std::size_t>(p.maxRow), 0.0f);

    FrameRing stack(p.stackRing, kNoteBins * kHarmonicCount);
    std::vector<FrameRing> rings;
    rings.reserve(static_cast<std::size_t>(count));
    for (const PreparedLayer& q : p.layers) rings.emplace_back(q.ring, q.widthOut * q.coutPadded);
    // Concatenated input frames of layers with several sources, one per tap.
    std::vector<std::vector<float>> joined(static_cast<std::size_t>(count));
    std::int32_t maxTaps = 1;
    for (std::int32_t l = 0; l < count; ++l) {
        const PreparedLayer& q = p.layers[static_cast<std::size_t>(l)];
        maxTaps = std::max(maxTaps, kNetworkLayers[l].kt);
        if (q.sources.size() > 1) {
            joined[static_cast<std::size_t>(l)].assign(
                static_cast<std::size_t>(kNetworkLayers[l].kt) * q.widthIn * q.cinPadded, 0.0f);
        }
    }
    std::vector<const float*> rows(static_cast<std::size_t>(maxTaps));

    auto rowOf = [&](std::int32_t s, std::int64_t t) -> const float* {
        if (t < 0 || t >= frames) return zeros.data();
        return s == kStackSource ? stack.slot(t) : rings[static_cast<std::size_t>(s)].slot(t);
    };

    const std::size_t cells = static_cast<std::size_t>(frames) * kNoteCount;
    result.onset.resize(cells);
    result.sounding.resize(cells);
    result.offset.resize(cells);
    result.velocity.resize(cells);
    const PreparedLayer& last = p.layers.back();
    std::vector<float> head(static_cast<std::size_t>(last.widthOut * last.coutPadded));

    const std::int64_t steps = frames + last.lag;
    for (std::int64_t t = 0; t < steps; ++t) {
        if (t < frames) {
            const float* f = features + t * kSpectrogramBins;
            float* s = stack.slot(t);
            for (std::int32_t b = 0; b < kNoteBins; ++b) {
                for (std::int32_t h = 0; h < kHarmonicCount; ++h) {
                    const std::int32_t at = b + kHarmonicShifts[h];
                    s[b * kHarmonicCount + h] = at >= 0 && at < kSpectrogramBins ? f[at] : 0.0f;
                }
            }
        }
        for (std::int32_t l = 0; l < count; ++l) {
            const PreparedLayer& q = p.layers[static_cast<std::size_t>(l)];
            const ConvLayer& c = kNetworkLayers[l];
            const std::int64_t u = t - q.lag;
            if (u < 0 || u >= frames) continue;
            for (std::int32_t dt = 0; dt < c.kt; ++dt) {
                const std::int64_t at = u + static_cast<std::int64_t>(dt - (c.kt - 1) / 2) * c.dilation;
                if (q.sources.size() == 1) {
                    rows[static_cast<std::size_t>(dt)] = rowOf(q.sources[0], at);
                    continue;
                }
                float* j = joined[static_cast<std::size_t>(l)].data() +
                           static_cast<std::size_t>(dt) * q.widthIn * q.cinPadded;
                for (std::int32_t b = 0; b < q.widthIn; ++b) {
                    float* to = j + static_cast<std::size_t>(b) * q.cinPadded;
                    for (std::int32_t s : q.sources) {
                        const std::int32_t ch = s == kStackSource ? kHarmonicCount : p.layers[static_cast<std::size_t>(s)].coutPadded;
                        const float* from = rowOf(s, at) + static_cast<std::size_t>(b) * ch;
                        std::copy(from, from + ch, to);
                        to += ch;
                    }
                }
                rows[static_cast<std::size_t>(dt)] = j;
            }
            const bool isLast = l == count - 1;
            detail::ConvFrame frame{rows.data(), c.kt, c.kf, q.cinPadded, q.widthIn, q.widthOut,
                                    c.stride, c.pad, q.coutPadded, c.relu != 0, q.weights.data(),
                                    q.bias.data(), isLast ? head.data() : rings[static_cast<std::size_t>(l)].slot(u)};
            detail::convFrame(frame);
            if (isLast) {
                const std::size_t at = static_cast<std::size_t>(u) * kNoteCount;
                for (std::int32_t n = 0; n < kNoteCount && n < q.widthOut; ++n) {
                    const float* h = head.data() + static_cast<std::size_t>(n) * q.coutPadded;
                    result.onset[at + static_cast<std::size_t>(n)] = sigmoid(h[0]);
                    result.sounding[at + static_cast<std::size_t>(n)] = sigmoid(h[1]);
                    result.offset[at + static_cast<std::size_t>(n)] = sigmoid(h[2]);
                    result.velocity[at + static_cast<std::size_t>(n)] = sigmoid(h[3]);
                }
            }
        }
        if (frameDone != nullptr && (t % 256 == 255 || t + 1 == steps)) {
            if (!frameDone(context, std::min(frames, t + 1))) return NetworkOutput{};
        }
    }
    result.frames = frames;
    return result;
}

}  // namespace selvik::poly
