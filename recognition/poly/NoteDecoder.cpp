#include "recognition/poly/NoteDecoder.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

#include "recognition/poly/NetworkWeights.h"
#include "recognition/poly/Spectrogram.h"

namespace selvik::poly {

namespace {

constexpr double kFrameSeconds = static_cast<double>(kHop) / kSampleRate;

bool isPeak(const NetworkOutput& p, std::int64_t t, std::int32_t n, const DecoderSettings& s) {
    const auto at = [&](std::int64_t u) { return p.onset[static_cast<std::size_t>(u * kNoteCount + n)]; };
    const float o = at(t);
    if (!(o >= s.onset)) return false;
    for (std::int32_t k = 1; k <= s.peakRadius; ++k) {
        if (t - k >= 0 && !(o > at(t - k))) return false;
        if (t + k < p.frames && !(o >= at(t + k))) return false;
    }
    return true;
}

double onsetSeconds(const NetworkOutput& p, std::int64_t t, std::int32_t n) {
    const auto at = [&](std::int64_t u) { return p.onset[static_cast<std::size_t>(u * kNoteCount + n)]; };
    const float before = t > 0 ? at(t - 1) : 0.0f;
    const float after = t + 1 < p.frames ? at(t + 1) : 0.0f;
    const float total = before + at(t) + after;
    const float shift = total > 0.0f ? (after - before) / total : 0.0f;
    return (static_cast<double>(t) + static_cast<double>(shift)) * kHop / kSampleRate;
}

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
    const double exponent = 5.0 * (1.0 - std::clamp(static_cast<double>(threshold), 0.0, 1.0));
    s.onset = static_cast<float>(std::pow(static_cast<double>(kTunedDecoder.onset), exponent));
    if (minNoteMs >= 0.0) {
        s.minFrames = std::max(1, static_cast<int>(std::lround(minNoteMs / 1000.0 / kFrameSeconds)));
    }
    return s;
}

double tunedMinNoteMs() { return kTunedDecoder.minFrames * kFrameSeconds * 1000.0; }

std::vector<RecognizedNote> decodeNotes(const NetworkOutput& p, const DecoderSettings& s,
                                        bool loudnessVelocity) {
    std::vector<RecognizedNote> notes;
    const std::int64_t frames = p.frames;
    std::vector<std::int64_t> peaks;
    std::vector<bool> covered(static_cast<std::size_t>(frames));
    auto at = [&](const std::vector<float>& plane, std::int64_t t, std::int32_t n) {
        return plane[static_cast<std::size_t>(t * kNoteCount + n)];
    };
    auto add = [&](double start, std::int64_t end, std::int32_t n, std::int64_t velocityFrame) {
        RecognizedNote note;
        note.startSeconds = std::max(0.0, start);
        note.endSeconds = static_cast<double>(end * kHop) / kSampleRate;
        note.note = static_cast<std::uint8_t>(kLowestNote + n);
        note.velocity = loudnessVelocity ? velocityOf(at(p.velocity, velocityFrame, n)) : std::uint8_t{100};
        notes.push_back(std::move(note));
    };
    for (std::int32_t n = 0; n < kNoteCount; ++n) {
        peaks.clear();
        std::fill(covered.begin(), covered.end(), false);
        for (std::int64_t t = 0; t < frames; ++t) {
            if (isPeak(p, t, n, s)) peaks.push_back(t);
        }
        peaks.push_back(frames);
        for (std::size_t k = 0; k + 1 < peaks.size();) {
            const std::int64_t start = peaks[k];
            std::size_t next = k + 1;
            std::int64_t last = start;
            for (std::int64_t t = start + 1; t < frames; ++t) {
                const bool sounding = at(p.sounding, t, n) >= s.sounding;
                if (!sounding && t - last > s.gap) break;  // the note ended before t
                if (t == peaks[next]) {
                    if (at(p.onset, t, n) >= s.reonset) break;  // the note repeats
                    ++next;  // too weak to repeat it: the note goes on
                }
                if (sounding) last = t;
            }
            k = next;
            const std::int64_t end = last + 1;
            if (end - start < s.minFrames) continue;
            for (std::int64_t t = start; t < end; ++t) covered[static_cast<std::size_t>(t)] = true;
            add(onsetSeconds(p, start, n), end, n, start);
        }
        if (s.heldFrames <= 0) continue;
        for (std::int64_t t = 0; t < frames;) {
            if (covered[static_cast<std::size_t>(t)] || !(at(p.sounding, t, n) >= s.held)) {
                ++t;
                continue;
            }
            std::int64_t end = t;
            while (end < frames && !covered[static_cast<std::size_t>(end)] && at(p.sounding, end, n) >= s.held) ++end;
            if (end - t >= s.heldFrames) add(static_cast<double>(t * kHop) / kSampleRate, end, n, t);
            t = end;
        }
    }
    std::sort(notes.begin(), notes.end(), [](const RecognizedNote& a, const RecognizedNote& b) {
        return a.startSeconds != b.startSeconds ? a.startSeconds < b.startSeconds : a.note < b.note;
    });
    return notes;
}

}  // namespace selvik::poly
