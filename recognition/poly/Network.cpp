#include "recognition/poly/Network.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <memory>

#include "recognition/poly/ConvKernels.h"
#include "recognition/poly/NetworkWeights.h"
#include "recognition/poly/LevelGrid.h"

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

struct NetworkStream::State {
    explicit State(std::int64_t frameCount, NetworkSink& target)
        : p(prepared()), frames(frameCount), sink(target), zeros(static_cast<std::size_t>(p.maxRow), 0.0f),
          stack(p.stackRing, kNoteBins * kHarmonicCount) {
        const std::int32_t count = static_cast<std::int32_t>(p.layers.size());
        rings.reserve(static_cast<std::size_t>(count));
        for (const PreparedLayer& q : p.layers) rings.emplace_back(q.ring, q.widthOut * q.coutPadded);
        joined.resize(static_cast<std::size_t>(count));
        std::int32_t maxTaps = 1;
        for (std::int32_t l = 0; l < count; ++l) {
            const PreparedLayer& q = p.layers[static_cast<std::size_t>(l)];
            maxTaps = std::max(maxTaps, kNetworkLayers[l].kt);
            if (q.sources.size() > 1) {
                joined[static_cast<std::size_t>(l)].assign(
                    static_cast<std::size_t>(kNetworkLayers[l].kt) * q.widthIn * q.cinPadded, 0.0f);
            }
        }
        rows.resize(static_cast<std::size_t>(maxTaps));
        const PreparedLayer& last = p.layers.back();
        head.resize(static_cast<std::size_t>(last.widthOut * last.coutPadded));
    }

    const float* rowOf(std::int32_t s, std::int64_t t) {
        if (t < 0 || t >= frames) return zeros.data();
        return s == kStackSource ? stack.slot(t) : rings[static_cast<std::size_t>(s)].slot(t);
    }

    // Step t: takes frame t of the spectrogram (when t < frames) and runs
    // every layer whose output frame is due.
    void step(std::int64_t t, const float* features) {
        if (features != nullptr) {
            float* s = stack.slot(t);
            for (std::int32_t b = 0; b < kNoteBins; ++b) {
                for (std::int32_t h = 0; h < kHarmonicCount; ++h) {
                    const std::int32_t at = b + kHarmonicShifts[h];
                    s[b * kHarmonicCount + h] = at >= 0 && at < kLevelGridBins ? features[at] : 0.0f;
                }
            }
        }
        const std::int32_t count = static_cast<std::int32_t>(p.layers.size());
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
            if (isLast) emit(u, q);
        }
    }

    void emit(std::int64_t u, const PreparedLayer& q) {
        for (int k = 0; k < 4; ++k) {
            for (std::int32_t n = 0; n < kNoteCount && n < q.widthOut; ++n) {
                probabilities[static_cast<std::size_t>(k * kNoteCount + n)] =
                    sigmoid(head[static_cast<std::size_t>(n) * q.coutPadded + k]);
            }
        }
        const float* at = probabilities.data();
        sink.take(u, at, at + kNoteCount, at + 2 * kNoteCount, at + 3 * kNoteCount);
    }

    const Prepared& p;
    std::int64_t frames;
    NetworkSink& sink;
    std::vector<float> zeros;
    std::vector<float> probabilities = std::vector<float>(4 * kNoteCount, 0.0f);  // one output frame
    FrameRing stack;
    std::vector<FrameRing> rings;
    std::vector<std::vector<float>> joined;  // concatenated inputs of layers with several sources, per tap
    std::vector<const float*> rows;
    std::vector<float> head;
    std::int64_t next = 0;  // the next step
};

NetworkStream::NetworkStream(std::int64_t frames, NetworkSink& sink)
    : state_(std::make_unique<State>(std::max<std::int64_t>(frames, 0), sink)) {}

NetworkStream::~NetworkStream() = default;

void NetworkStream::push(const float* features) {
    State& s = *state_;
    if (s.next >= s.frames) return;
    s.step(s.next, features);
    ++s.next;
}

void NetworkStream::finish() {
    State& s = *state_;
    const std::int64_t steps = s.frames + s.p.layers.back().lag;
    for (; s.next < steps; ++s.next) s.step(s.next, s.next < s.frames ? s.zeros.data() : nullptr);
}

namespace {

// Every output frame into the arrays of a NetworkOutput.
class WholeOutput : public NetworkSink {
public:
    explicit WholeOutput(NetworkOutput& out) : out_(out) {}
    void take(std::int64_t frame, const float* onset, const float* sounding, const float* offset,
              const float* velocity) override {
        const auto at = static_cast<std::ptrdiff_t>(frame * kNoteCount);
        std::copy(onset, onset + kNoteCount, out_.onset.begin() + at);
        std::copy(sounding, sounding + kNoteCount, out_.sounding.begin() + at);
        std::copy(offset, offset + kNoteCount, out_.offset.begin() + at);
        std::copy(velocity, velocity + kNoteCount, out_.velocity.begin() + at);
    }

private:
    NetworkOutput& out_;
};

}  // namespace

NetworkOutput runNetwork(const float* features, std::int64_t frames,
                         bool (*frameDone)(void*, std::int64_t), void* context) {
    NetworkOutput result;
    if (frames <= 0) return result;
    const std::size_t cells = static_cast<std::size_t>(frames) * kNoteCount;
    result.frames = frames;
    result.onset.resize(cells);
    result.sounding.resize(cells);
    result.offset.resize(cells);
    result.velocity.resize(cells);
    WholeOutput sink(result);
    NetworkStream stream(frames, sink);
    for (std::int64_t t = 0; t < frames; ++t) {
        stream.push(features + t * kLevelGridBins);
        if (frameDone != nullptr && (t % 256 == 255 || t + 1 == frames)) {
            if (!frameDone(context, t + 1)) return NetworkOutput{};
        }
    }
    stream.finish();
    return result;
}

}  // namespace selvik::poly
