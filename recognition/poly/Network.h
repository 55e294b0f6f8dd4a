#pragma once

#include <cstdint>
#include <memory>
#include <vector>

namespace selvik::poly {

// Probabilities per frame and note (notes 21..108, index note - 21), each
// array holding frames * 88 values, frame after frame.
struct NetworkOutput {
    std::int64_t frames = 0;
    std::vector<float> onset;     // a note starts in this frame
    std::vector<float> sounding;  // the note is held in this frame
    std::vector<float> offset;    // a note ends in this frame
    std::vector<float> velocity;  // the note's MIDI velocity / 127, where it starts
};

// Where a NetworkStream puts each output frame: 88 values per output, note
// 21 first.
class NetworkSink {
public:
    virtual ~NetworkSink() = default;
    virtual void take(std::int64_t frame, const float* onset, const float* sounding, const float* offset,
                      const float* velocity) = 0;
};

// The network run frame by frame as the frames arrive: push() frames 0, 1,
// ... in order, then finish(). Each output frame goes to the sink, in
// order, as soon as the frames it reads have arrived, so memory does not grow
// with the recording. The sink must outlive the stream.
class NetworkStream {
public:
    NetworkStream(std::int64_t frames, NetworkSink& sink);
    ~NetworkStream();
    NetworkStream(const NetworkStream&) = delete;
    NetworkStream& operator=(const NetworkStream&) = delete;

    // The next frame of spectrogram (kLevelGridBins values).
    void push(const float* features);
    // Gives the output frames still due; frames never pushed count as silence.
    void finish();

private:
    struct State;
    std::unique_ptr<State> state_;
};

// Runs the compiled-in network (NetworkWeights.h) over `frames` frames of
// spectrogram (frames * kLevelGridBins values, LevelGrid.h). Frame by
// frame, keeping only the few frames each layer needs, so memory does not
// grow with the recording beyond the output itself. Deterministic: the same
// input gives the same bytes on the same build and processor.
// `frameDone`, when given, is called every few hundred frames with the
// number of frames done and may return false to stop; the output is then
// empty.
NetworkOutput runNetwork(const float* features, std::int64_t frames,
                         bool (*frameDone)(void* context, std::int64_t framesDone) = nullptr,
                         void* context = nullptr);

// Multiply-adds per frame of the compiled-in network (for benchmarks).
std::int64_t networkMultiplyAdds();

}  // namespace selvik::poly
