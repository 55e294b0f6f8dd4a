#include "midi/SongBuilder.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>

#include "core/NoteSpan.h"
#include "midi/BentNoteTrack.h"
#include "midi/NoteTrack.h"
#include "midi/Quantize.h"
#include "midi/TempoFromBeats.h"
#include "midi/TempoMap.h"

namespace selvik {

namespace {

bool songOutOfMemory(Song& song) {
    clear(song);
    reset(&song);
    return false;
}

bool fillTrack(SongTrack& track, const std::vector<PlacedSpan>& placed, const std::vector<RecognizedNote>& notes,
               const SongTiming& timing, const TempoMap& map) {
    if (timing.pitchBends) {
        std::vector<BentSpan> bent;
        bent.reserve(placed.size());
        for (const PlacedSpan& p : placed) bent.push_back({p.span, &notes[p.source].pitch});
        return buildBentNoteTrack(track, bent, map);
    }
    std::vector<NoteSpan> spans;
    spans.reserve(placed.size());
    for (const PlacedSpan& p : placed) spans.push_back(p.span);
    return buildNoteTrack(track, spans.data(), static_cast<std::int32_t>(spans.size()));
}

}  // namespace

bool buildSong(const std::vector<RecognizedNote>& notes, Song& song, const SongTiming& timing) {
    // Twice the span count must still fit the 32-bit event count.
    constexpr std::size_t kMaxSpans = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (notes.size() > kMaxSpans) return songOutOfMemory(song);
    try {
        SongTempo tempo;
        std::optional<TimeSignature> meter = timing.timeSignature;
        if (timing.beats) {
            tempo = tempoFromBeats(*timing.beats, timing.division);
            meter = tempo.meter;
        } else {
            tempo.tempo = timing.tempo;
        }
        const TempoMap map(tempo.tempo, tempo.changes, timing.division);

        std::vector<PlacedSpan> placed;
        placed.reserve(notes.size());
        for (std::size_t i = 0; i < notes.size(); ++i) {
            const RecognizedNote& note = notes[i];
            if (note.note > 127) continue;
            NoteSpan span;
            span.note = note.note;
            span.velocity = std::clamp<std::uint8_t>(note.velocity, 1, 127);
            span.startTick = static_cast<std::int32_t>(map.tickAt(std::max(0.0, note.startSeconds)));
            span.endTick = std::max(span.startTick + 1,
                                    static_cast<std::int32_t>(map.tickAt(std::max(0.0, note.endSeconds))));
            placed.push_back({span, i});
        }
        quantizeSpans(placed, timing.quantize.stepTicks(timing.division));

        clear(song);
        reset(&song);
        song.tempo = tempo.tempo;
        song.tempoChanges = std::move(tempo.changes);
        song.timeSignature = meter;
        song.division = timing.division;
        if (!fillTrack(song.tracks[0], placed, notes, timing, map)) return songOutOfMemory(song);
    } catch (const std::bad_alloc&) {
        return songOutOfMemory(song);
    }
    countEvents(song);
    computeEndTime(song);
    if (!sortTracks(song)) return songOutOfMemory(song);
    return true;
}

}  // namespace selvik
