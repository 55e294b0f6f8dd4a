#include "recognition/NoteSegmenter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>

namespace selvik::melody {

namespace {

constexpr std::int32_t kLevelFrames = 17;  // about 100 ms
constexpr std::int32_t kRiseFrames = 8;    // level compared over this many frames each side

float levelAt(const std::vector<PitchFrame>& frames, std::int32_t t) {
    if (t < 0 || t >= static_cast<std::int32_t>(frames.size())) return -200.0f;
    return frames[static_cast<std::size_t>(t)].levelDb;
}

// The level rise across frame t: loudest just after it against quietest just before it.
double riseAt(const std::vector<PitchFrame>& frames, std::int32_t t) {
    float before = 1000.0f, after = -1000.0f;
    for (std::int32_t u = t - kRiseFrames; u <= t; ++u) before = std::min(before, levelAt(frames, u));
    for (std::int32_t u = t; u <= t + kRiseFrames; ++u) after = std::max(after, levelAt(frames, u));
    return static_cast<double>(after) - static_cast<double>(before);
}

// The pitch of the frame's most likely candidate within a semitone of the
// note, or NaN when there is none.
double pitchNear(const std::vector<PitchFrame>& frames, std::int32_t t, std::int32_t note) {
    const PitchFrame& frame = frames[static_cast<std::size_t>(t)];
    double best = 0.0, pitch = std::nan("");
    for (std::int32_t c = 0; c < frame.candidateCount; ++c) {
        const PitchCandidate& candidate = frame.candidates[static_cast<std::size_t>(c)];
        if (std::fabs(candidate.midi - note) <= 1.0f && candidate.probability > best) {
            best = candidate.probability;
            pitch = candidate.midi;
        }
    }
    return pitch;
}

double meanPitch(const std::vector<PitchFrame>& frames, std::int32_t from, std::int32_t to, std::int32_t note) {
    double sum = 0.0;
    std::int32_t n = 0;
    for (std::int32_t t = from; t < to; ++t) {
        const double p = pitchNear(frames, t, note);
        if (!std::isnan(p)) {
            sum += p;
            ++n;
        }
    }
    return n > 0 ? sum / n : std::nan("");
}

// How far the pitch moves across the note, from its first to its last third.
double pitchDrift(const std::vector<PitchFrame>& frames, const MelodyNote& note) {
    const std::int32_t third = std::max(1, (note.endFrame - note.startFrame) / 3);
    const double first = meanPitch(frames, note.startFrame, note.startFrame + third, note.note);
    const double last = meanPitch(frames, note.endFrame - third, note.endFrame, note.note);
    return std::isnan(first) || std::isnan(last) ? 0.0 : std::fabs(last - first);
}

}  // namespace

std::vector<MelodyNote> segmentNotes(const std::vector<std::int32_t>& states,
                                     const OnsetFunction& onsets,
                                     const std::vector<PitchFrame>& frames,
                                     const SegmentSettings& settings) {
    std::vector<MelodyNote> notes;
    const auto n = static_cast<std::int32_t>(states.size());
    const std::vector<std::int32_t>& peaks = onsets.onsets;

    // Runs of one note state.
    for (std::int32_t t = 0; t < n;) {
        const std::int32_t state = states[static_cast<std::size_t>(t)];
        std::int32_t end = t + 1;
        while (end < n && states[static_cast<std::size_t>(end)] == state) ++end;
        if (state >= 0) notes.push_back(MelodyNote{state, t, end, false, -200.0f});
        t = end;
    }

    // Repeated notes: split a run at each clear attack well inside it.
    const std::int32_t least = std::max<std::int32_t>(1, settings.minimumFrames);
    std::vector<MelodyNote> split;
    for (const MelodyNote& run : notes) {
        MelodyNote current = run;
        for (std::int32_t onset : peaks) {
            if (onset - current.startFrame < least || run.endFrame - onset < least) continue;
            if (riseAt(frames, onset) < settings.repeatRiseDb) continue;
            MelodyNote head = current;
            head.endFrame = onset;
            split.push_back(head);
            current.startFrame = onset;
            current.startsAtOnset = true;
        }
        split.push_back(current);
    }
    notes.swap(split);

    // Starts onto nearby onsets.
    for (std::size_t i = 0; i < notes.size(); ++i) {
        MelodyNote& note = notes[i];
        if (note.startsAtOnset) continue;
        std::int32_t best = -1;
        for (std::int32_t onset : peaks) {
            if (onset < note.startFrame - settings.snapBefore) continue;
            if (onset > note.startFrame + settings.snapAfter) break;
            if (best < 0 || std::abs(onset - note.startFrame) < std::abs(best - note.startFrame)) best = onset;
        }
        if (best < 0 || best >= note.endFrame) continue;
        if (i > 0) {
            MelodyNote& previous = notes[i - 1];
            if (best <= previous.startFrame) continue;
            if (previous.endFrame >= note.startFrame || previous.endFrame > best) previous.endFrame = best;
        }
        note.startFrame = best;
        note.startsAtOnset = true;
    }

    // Tails: trimmed back to the last frame within tailDropDb of the peak.
    for (MelodyNote& note : notes) {
        float peak = -1000.0f;
        for (std::int32_t t = note.startFrame; t < note.endFrame; ++t) peak = std::max(peak, levelAt(frames, t));
        const double floor = static_cast<double>(peak) - settings.tailDropDb;
        while (note.endFrame - note.startFrame > least && levelAt(frames, note.endFrame - 1) < floor) --note.endFrame;
    }

    // Glides: a passage whose pitch slides through it carries on the note it
    // follows instead of becoming a note of its own.
    for (std::size_t i = 1; i < notes.size();) {
        MelodyNote& note = notes[i];
        MelodyNote& previous = notes[i - 1];
        if (!note.startsAtOnset && previous.endFrame == note.startFrame &&
            note.endFrame - note.startFrame <= settings.glideFrames &&
            pitchDrift(frames, note) >= settings.glideDrift) {
            previous.endFrame = note.endFrame;
            notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
            ++i;
        }
    }

    // Pieces below the minimum length, shortest first.
    for (;;) {
        std::size_t shortest = notes.size();
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const std::int32_t length = notes[i].endFrame - notes[i].startFrame;
            if (length < settings.minimumFrames &&
                (shortest == notes.size() ||
                 length < notes[shortest].endFrame - notes[shortest].startFrame)) {
                shortest = i;
            }
        }
        if (shortest == notes.size()) break;
        const std::size_t i = shortest;
        const bool touchesPrevious = i > 0 && notes[i - 1].endFrame == notes[i].startFrame;
        const bool touchesNext = i + 1 < notes.size() && notes[i + 1].startFrame == notes[i].endFrame;
        if (touchesNext && (notes[i].startsAtOnset || !touchesPrevious) && !notes[i + 1].startsAtOnset) {
            notes[i + 1].startFrame = notes[i].startFrame;
            notes[i + 1].startsAtOnset = notes[i].startsAtOnset;
        } else if (touchesPrevious) {
            notes[i - 1].endFrame = notes[i].endFrame;
        }
        // Otherwise the piece stands alone, or only touches a note whose own
        // attack is known: it is dropped.
        notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(i));
    }

    for (MelodyNote& note : notes) {
        const std::int32_t last = std::min(note.endFrame, note.startFrame + kLevelFrames);
        for (std::int32_t t = note.startFrame; t < last; ++t) note.levelDb = std::max(note.levelDb, levelAt(frames, t));
    }
    return notes;
}

}  // namespace selvik::melody
