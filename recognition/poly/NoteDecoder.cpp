#include "recognition/poly/NoteDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <deque>

#include "recognition/poly/NetworkWeights.h"
#include "recognition/poly/LevelGrid.h"

namespace selvik::poly {

namespace {

constexpr double kFrameSeconds = static_cast<double>(kHop) / kSampleRate;

std::uint8_t velocityOf(float v) {
    const float scaled = std::floor(v * 127.0f + 0.5f);
    return static_cast<std::uint8_t>(std::clamp(static_cast<int>(scaled), 1, 127));
}

}  // namespace

DecoderSettings decoderSettingsFor(float threshold, double minNoteMs) {
    DecoderSettings s;
    s.onset = kTunedDecoder.onset;
    s.sounding = kTunedDecoder.sounding;
    s.gap = kTunedDecoder.gap;
    s.minFrames = kTunedDecoder.minFrames;
    s.peakRadius = kTunedDecoder.peakRadius;
    s.held = kTunedDecoder.held;
    s.heldFrames = kTunedDecoder.heldFrames;
    s.reonset = kTunedDecoder.reonset;
    s.offset = kTunedDecoder.offset;
    const double exponent = 5.0 * (1.0 - std::clamp(static_cast<double>(threshold), 0.0, 1.0));
    s.onset = static_cast<float>(std::pow(static_cast<double>(kTunedDecoder.onset), exponent));
    if (minNoteMs >= 0.0) {
        s.minFrames = std::max(1, static_cast<int>(std::lround(minNoteMs / 1000.0 / kFrameSeconds)));
    }
    return s;
}

double tunedMinNoteMs() { return kTunedDecoder.minFrames * kFrameSeconds * 1000.0; }

struct NoteDecoderStream::State {
    // Frames are decided `delay` frames after they arrive, when the onset
    // values an onset peak is judged on (and the start's neighbours) are in.
    State(std::int64_t frameCount, const DecoderSettings& s, bool loudness)
        : settings(s), loudnessVelocity(loudness), frames(frameCount),
          delay(std::max<std::int32_t>(1, s.peakRadius)), window(2 * delay + 1),
          onset(static_cast<std::size_t>(window * kNoteCount)), sounding(onset.size()), offset(onset.size()),
          velocity(onset.size()), tracks(kNoteCount) {}

    struct Track {
        bool active = false;   // a note started at an onset peak and still open
        std::int64_t start = 0;
        std::int64_t last = 0;  // its last frame at the sounding threshold
        std::int64_t cut = -1;  // its first offset peak far enough in (-1: none yet)
        double startSeconds = 0.0;
        float velocity = 0.0f;
        // Held notes: the frames from `settled` on whose coverage by a note
        // is not final yet (those of the open note), and the run of held
        // frames going on (-1: none).
        struct Pending {
            bool held;
            bool covered;
            float velocity;
        };
        std::deque<Pending> pending;
        std::int64_t settled = 0;
        std::int64_t runStart = -1;
        float runVelocity = 0.0f;
    };

    float at(const std::vector<float>& plane, std::int64_t t, std::int32_t n) const {
        return plane[static_cast<std::size_t>((t % window) * kNoteCount + n)];
    }

    bool isPeak(const std::vector<float>& plane, float threshold, std::int32_t radius, std::int64_t t,
                std::int32_t n) const {
        const float o = at(plane, t, n);
        if (!(o >= threshold)) return false;
        for (std::int32_t k = 1; k <= radius; ++k) {
            if (t - k >= 0 && !(o > at(plane, t - k, n))) return false;
            if (t + k < frames && !(o >= at(plane, t + k, n))) return false;
        }
        return true;
    }

    // The peak frame's time moved by the centroid of the onset values around it.
    double onsetSeconds(std::int64_t t, std::int32_t n) const {
        const float before = t > 0 ? at(onset, t - 1, n) : 0.0f;
        const float after = t + 1 < frames ? at(onset, t + 1, n) : 0.0f;
        const float total = before + at(onset, t, n) + after;
        const float shift = total > 0.0f ? (after - before) / total : 0.0f;
        return (static_cast<double>(t) + static_cast<double>(shift)) * kHop / kSampleRate;
    }

    void add(double start, std::int64_t end, std::int32_t n, float v) {
        RecognizedNote note;
        note.startSeconds = std::max(0.0, start);
        note.endSeconds = static_cast<double>(end * kHop) / kSampleRate;
        note.note = static_cast<std::uint8_t>(kLowestNote + n);
        note.velocity = loudnessVelocity ? velocityOf(v) : std::uint8_t{100};
        notes.push_back(std::move(note));
    }

    // Closes the open note: it ends after its last frame at the threshold,
    // or at its offset peak when that comes first.
    void close(Track& track, std::int32_t n) {
        track.active = false;
        const std::int64_t end = track.last + 1;
        if (end - track.start < settings.minFrames) return;
        add(track.startSeconds, track.cut >= 0 && track.cut < end ? track.cut : end, n, track.velocity);
        if (settings.heldFrames <= 0) return;
        for (std::int64_t t = track.start; t < end; ++t) {
            track.pending[static_cast<std::size_t>(t - track.settled)].covered = true;
        }
    }

    // Runs of held frames outside the notes, over the frames now settled.
    void settle(Track& track, std::int32_t n, std::int64_t horizon) {
        for (; track.settled < horizon; ++track.settled) {
            const Track::Pending p = track.pending.front();
            track.pending.pop_front();
            if (p.held && !p.covered) {
                if (track.runStart < 0) {
                    track.runStart = track.settled;
                    track.runVelocity = p.velocity;
                }
            } else if (track.runStart >= 0) {
                if (track.settled - track.runStart >= settings.heldFrames) {
                    add(static_cast<double>(track.runStart * kHop) / kSampleRate, track.settled, n, track.runVelocity);
                }
                track.runStart = -1;
            }
        }
    }

    // Frame t of note n. A note starts at an onset peak and goes on while
    // the sounding probability carries it, up to `gap` frames below the
    // threshold tolerated, until a peak strong enough to repeat it.
    void decide(std::int64_t t, std::int32_t n) {
        Track& track = tracks[static_cast<std::size_t>(n)];
        const bool peak = isPeak(onset, settings.onset, settings.peakRadius, t, n);
        bool goesOn = false;
        if (track.active) {
            const bool carried = at(sounding, t, n) >= settings.sounding;
            if (!carried && t - track.last > settings.gap) {
                close(track, n);  // it ended before t
            } else if (peak && at(onset, t, n) >= settings.reonset) {
                close(track, n);  // the note repeats
            } else {
                if (carried) track.last = t;
                if (settings.offset > 0.0f && track.cut < 0 &&
                    t >= track.start + std::max(1, settings.minFrames) && isPeak(offset, settings.offset, 1, t, n)) {
                    track.cut = t;
                }
                goesOn = true;
            }
        }
        if (!goesOn && peak) {
            track.active = true;
            track.start = t;
            track.last = t;
            track.cut = -1;
            track.startSeconds = onsetSeconds(t, n);
            track.velocity = at(velocity, t, n);
        }
        if (settings.heldFrames > 0) {
            track.pending.push_back({at(sounding, t, n) >= settings.held, false, at(velocity, t, n)});
            settle(track, n, track.active ? track.start : t + 1);
        }
    }

    DecoderSettings settings;
    bool loudnessVelocity;
    std::int64_t frames;
    std::int32_t delay;
    std::int32_t window;  // frames kept: the one decided and `delay` on either side
    std::vector<float> onset, sounding, offset, velocity;
    std::vector<Track> tracks;
    std::vector<RecognizedNote> notes;
    std::int64_t pushed = 0;
    std::int64_t decided = 0;
};

NoteDecoderStream::NoteDecoderStream(std::int64_t frames, const DecoderSettings& settings, bool loudnessVelocity)
    : state_(std::make_unique<State>(std::max<std::int64_t>(frames, 0), settings, loudnessVelocity)) {}

NoteDecoderStream::~NoteDecoderStream() = default;

void NoteDecoderStream::push(const float* onset, const float* sounding, const float* offset, const float* velocity) {
    State& s = *state_;
    if (s.pushed >= s.frames) return;
    const std::size_t row = static_cast<std::size_t>((s.pushed % s.window) * kNoteCount);
    std::copy(onset, onset + kNoteCount, s.onset.begin() + static_cast<std::ptrdiff_t>(row));
    std::copy(sounding, sounding + kNoteCount, s.sounding.begin() + static_cast<std::ptrdiff_t>(row));
    std::copy(offset, offset + kNoteCount, s.offset.begin() + static_cast<std::ptrdiff_t>(row));
    std::copy(velocity, velocity + kNoteCount, s.velocity.begin() + static_cast<std::ptrdiff_t>(row));
    ++s.pushed;
    for (; s.decided + s.delay < s.pushed; ++s.decided) {
        for (std::int32_t n = 0; n < kNoteCount; ++n) s.decide(s.decided, n);
    }
}

std::vector<RecognizedNote> NoteDecoderStream::finish() {
    State& s = *state_;
    s.frames = s.pushed;  // frames never pushed do not exist
    for (; s.decided < s.frames; ++s.decided) {
        for (std::int32_t n = 0; n < kNoteCount; ++n) s.decide(s.decided, n);
    }
    for (std::int32_t n = 0; n < kNoteCount; ++n) {
        State::Track& track = s.tracks[static_cast<std::size_t>(n)];
        if (track.active) s.close(track, n);
        if (s.settings.heldFrames <= 0) continue;
        s.settle(track, n, s.frames);
        if (track.runStart >= 0 && s.frames - track.runStart >= s.settings.heldFrames) {
            s.add(static_cast<double>(track.runStart * kHop) / kSampleRate, s.frames, n, track.runVelocity);
        }
        track.runStart = -1;
    }
    std::vector<RecognizedNote> notes = std::move(s.notes);
    std::sort(notes.begin(), notes.end(), [](const RecognizedNote& a, const RecognizedNote& b) {
        return a.startSeconds != b.startSeconds ? a.startSeconds < b.startSeconds : a.note < b.note;
    });
    return notes;
}

std::vector<RecognizedNote> decodeNotes(const NetworkOutput& p, const DecoderSettings& s, bool loudnessVelocity) {
    NoteDecoderStream stream(p.frames, s, loudnessVelocity);
    for (std::int64_t t = 0; t < p.frames; ++t) {
        const std::size_t at = static_cast<std::size_t>(t * kNoteCount);
        stream.push(p.onset.data() + at, p.sounding.data() + at, p.offset.data() + at, p.velocity.data() + at);
    }
    return stream.finish();
}

}  // namespace selvik::poly
