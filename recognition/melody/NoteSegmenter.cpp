#include "recognition/melody/NoteSegmenter.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdlib>
#include <iterator>

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

// The candidates' probability within a quarter tone of the note.
double probabilityNear(const std::vector<PitchFrame>& frames, std::int32_t t, std::int32_t note) {
    const PitchFrame& frame = frames[static_cast<std::size_t>(t)];
    double sum = 0.0;
    for (std::int32_t c = 0; c < frame.candidateCount; ++c) {
        const PitchCandidate& candidate = frame.candidates[static_cast<std::size_t>(c)];
        if (std::fabs(candidate.midi - note) <= 0.5f) sum += candidate.probability;
    }
    return sum;
}

// The shortest a note may be, in frames, and never less than one.
std::int32_t leastFrames(const SegmentSettings& settings) { return std::max<std::int32_t>(1, settings.minimumFrames); }

// How far the pitch moves across the note, from its first to its last third.
double pitchDrift(const std::vector<PitchFrame>& frames, const MelodyNote& note) {
    const std::int32_t third = std::max(1, (note.endFrame - note.startFrame) / 3);
    const double first = meanPitch(frames, note.startFrame, note.startFrame + third, note.note);
    const double last = meanPitch(frames, note.endFrame - third, note.endFrame, note.note);
    return std::isnan(first) || std::isnan(last) ? 0.0 : std::fabs(last - first);
}

// Frames where periodicity breaks off for a moment inside a steady sound: a
// tongued or bowed re-attack, which often leaves the spectrum and the level
// nearly unchanged.
std::vector<std::int32_t> voicingDips(const std::vector<PitchFrame>& frames, const SegmentSettings& settings) {
    constexpr std::int32_t kSteadyBefore = 6, kLongestDip = 5, kSteadyAfter = 8;
    std::vector<std::int32_t> dips;
    if (!(settings.dipVoiced > 0.0)) return dips;
    const auto n = static_cast<std::int32_t>(frames.size());
    std::vector<double> voiced(frames.size());
    for (std::size_t t = 0; t < frames.size(); ++t) voiced[t] = frames[t].periodicity();
    auto at = [&](std::int32_t t) { return voiced[static_cast<std::size_t>(t)]; };
    for (std::int32_t t = 1; t + 1 < n; ++t) {
        if (at(t) >= settings.dipVoiced || at(t - 1) < settings.dipVoiced) continue;
        std::int32_t end = t;
        while (end < n && end < t + kLongestDip && at(end) < settings.dipVoiced) ++end;
        if (end >= t + kLongestDip) continue;
        double before = 0.0, after = 0.0;
        for (std::int32_t u = std::max(0, t - kSteadyBefore); u < t; ++u) before = std::max(before, at(u));
        for (std::int32_t u = end; u < std::min(n, end + kSteadyAfter); ++u) after = std::max(after, at(u));
        if (before >= settings.steadyVoiced && after >= settings.steadyVoiced) dips.push_back(t);
    }
    return dips;
}

// Repeated notes: a run of one pitch splits at each attack well inside it.
// An onset counts when the level rises across it; a voicing dip counts as it
// is. After a split the next one waits repeatGapFrames, so that the second
// bump of one attack does not start a note of its own.
std::vector<MelodyNote> splitRepeats(const std::vector<MelodyNote>& runs, const std::vector<std::int32_t>& onsets,
                                     const std::vector<PitchFrame>& frames, const SegmentSettings& settings) {
    const std::int32_t least = leastFrames(settings);
    const std::int32_t gap = std::max(least, settings.repeatGapFrames);
    const std::vector<std::int32_t> dips = voicingDips(frames, settings);
    std::vector<std::int32_t> attacks;
    attacks.reserve(onsets.size() + dips.size());
    std::merge(onsets.begin(), onsets.end(), dips.begin(), dips.end(), std::back_inserter(attacks));
    attacks.erase(std::unique(attacks.begin(), attacks.end()), attacks.end());

    std::vector<MelodyNote> notes;
    notes.reserve(runs.size());
    for (const MelodyNote& run : runs) {
        MelodyNote current = run;
        for (std::int32_t attack : attacks) {
            if (attack - current.startFrame < gap || run.endFrame - attack < least) continue;
            const bool isOnset = std::binary_search(onsets.begin(), onsets.end(), attack);
            if (isOnset && !std::binary_search(dips.begin(), dips.end(), attack) &&
                riseAt(frames, attack) < settings.repeatRiseDb) {
                continue;
            }
            MelodyNote head = current;
            head.endFrame = attack;
            notes.push_back(head);
            current.startFrame = attack;
            current.startsAtOnset = true;
        }
        notes.push_back(current);
    }
    return notes;
}

// Pitch changes: where one note runs straight into another, the new pitch
// often wins only once it outweighs the old one's ringing. The change moves
// back to where the old pitch had faded below fadeRatio of its typical
// (median) strength, at most fadeFrames.
void moveChangesToFades(std::vector<MelodyNote>& notes, const std::vector<PitchFrame>& frames,
                        const SegmentSettings& settings) {
    if (settings.fadeFrames <= 0) return;
    const std::int32_t least = leastFrames(settings);
    std::vector<double> strength, sorted;
    for (std::size_t i = 0; i + 1 < notes.size(); ++i) {
        MelodyNote& note = notes[i];
        MelodyNote& following = notes[i + 1];
        if (note.endFrame != following.startFrame || note.note == following.note) continue;
        strength.clear();
        for (std::int32_t t = note.startFrame; t < note.endFrame; ++t) strength.push_back(probabilityNear(frames, t, note.note));
        sorted = strength;
        const auto middle = sorted.begin() + static_cast<std::ptrdiff_t>(sorted.size() / 2);
        std::nth_element(sorted.begin(), middle, sorted.end());
        const double faded = *middle * settings.fadeRatio;
        std::int32_t boundary = note.endFrame;
        while (boundary - 1 > note.startFrame + least && note.endFrame - (boundary - 1) <= settings.fadeFrames &&
               strength[static_cast<std::size_t>(boundary - 1 - note.startFrame)] < faded) {
            --boundary;
        }
        note.endFrame = boundary;
        following.startFrame = boundary;
    }
}

// Starts move onto the nearest onset from snapBefore frames before to
// snapAfter after; across silence before the note (an attack too rough to
// have a pitch yet) the search reaches back snapBeforeSilence frames.
void snapStartsToOnsets(std::vector<MelodyNote>& notes, const std::vector<std::int32_t>& onsets,
                        const SegmentSettings& settings) {
    for (std::size_t i = 0; i < notes.size(); ++i) {
        MelodyNote& note = notes[i];
        if (note.startsAtOnset) continue;
        const std::int32_t silentFrom = i > 0 ? notes[i - 1].endFrame : 0;
        const std::int32_t earliest = std::min(note.startFrame - settings.snapBefore,
                                               std::max(silentFrom, note.startFrame - settings.snapBeforeSilence));
        std::int32_t best = -1;
        for (std::int32_t onset : onsets) {
            if (onset < earliest) continue;
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
}

// Tails: trimmed back to the last frame within tailDropDb of the note's peak.
void trimTails(std::vector<MelodyNote>& notes, const std::vector<PitchFrame>& frames, const SegmentSettings& settings) {
    const std::int32_t least = leastFrames(settings);
    for (MelodyNote& note : notes) {
        float peak = -1000.0f;
        for (std::int32_t t = note.startFrame; t < note.endFrame; ++t) peak = std::max(peak, levelAt(frames, t));
        const double floor = static_cast<double>(peak) - settings.tailDropDb;
        while (note.endFrame - note.startFrame > least && levelAt(frames, note.endFrame - 1) < floor) --note.endFrame;
    }
}

// Harmonic slips: a piece an octave, a twelfth or two octaves from a note it
// runs into without an attack between them, and shorter than slipRatio of
// it, is that note heard through one of its partials (at a plucked attack,
// or as the fundamental fades) and joins it.
void joinHarmonicSlips(std::vector<MelodyNote>& notes, const SegmentSettings& settings) {
    auto related = [](std::int32_t a, std::int32_t b) {
        const std::int32_t d = std::abs(a - b);
        return d == 12 || d == 19 || d == 24;
    };
    for (std::size_t i = 0; i + 1 < notes.size();) {
        MelodyNote& a = notes[i];
        MelodyNote& b = notes[i + 1];
        if (a.endFrame == b.startFrame && !b.startsAtOnset && related(a.note, b.note)) {
            const double lengthA = a.endFrame - a.startFrame, lengthB = b.endFrame - b.startFrame;
            if (lengthA < settings.slipRatio * lengthB) {
                b.startFrame = a.startFrame;
                b.startsAtOnset = a.startsAtOnset;
                notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(i));
                continue;
            }
            // A slip at the end joins the note before it, unless it is the
            // attack of the note after it.
            const bool leadsOn = i + 2 < notes.size() && notes[i + 2].startFrame == b.endFrame && !notes[i + 2].startsAtOnset;
            if (lengthB < settings.slipRatio * lengthA && !leadsOn) {
                a.endFrame = b.endFrame;
                notes.erase(notes.begin() + static_cast<std::ptrdiff_t>(i + 1));
                continue;
            }
        }
        ++i;
    }
}

// Glides: a passage whose pitch slides through it carries on the note it
// follows instead of becoming a note of its own.
void joinGlides(std::vector<MelodyNote>& notes, const std::vector<PitchFrame>& frames, const SegmentSettings& settings) {
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
}

// Pieces below the minimum length, shortest first, merge into a note they
// touch (the following one when the piece is the attack of it) or go.
void mergeShortPieces(std::vector<MelodyNote>& notes, const SegmentSettings& settings) {
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
}

}  // namespace

std::vector<MelodyNote> segmentNotes(const std::vector<std::int32_t>& states,
                                     const OnsetFunction& onsets,
                                     const std::vector<PitchFrame>& frames,
                                     const SegmentSettings& settings) {
    // Runs of one note state.
    std::vector<MelodyNote> runs;
    const auto n = static_cast<std::int32_t>(states.size());
    for (std::int32_t t = 0; t < n;) {
        const std::int32_t state = states[static_cast<std::size_t>(t)];
        std::int32_t end = t + 1;
        while (end < n && states[static_cast<std::size_t>(end)] == state) ++end;
        if (state >= 0) runs.push_back(MelodyNote{state, t, end, false, -200.0f});
        t = end;
    }

    std::vector<MelodyNote> notes = splitRepeats(runs, onsets.onsets, frames, settings);
    moveChangesToFades(notes, frames, settings);
    snapStartsToOnsets(notes, onsets.onsets, settings);
    trimTails(notes, frames, settings);
    joinHarmonicSlips(notes, settings);
    joinGlides(notes, frames, settings);
    mergeShortPieces(notes, settings);

    for (MelodyNote& note : notes) {
        const std::int32_t last = std::min(note.endFrame, note.startFrame + kLevelFrames);
        for (std::int32_t t = note.startFrame; t < last; ++t) note.levelDb = std::max(note.levelDb, levelAt(frames, t));
    }
    return notes;
}

}  // namespace selvik::melody
