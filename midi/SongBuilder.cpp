#include "midi/SongBuilder.h"

#include <algorithm>
#include <cstddef>
#include <limits>
#include <new>

#include "core/NoteSpan.h"
#include "core/TickTime.h"
#include "midi/NoteTrack.h"

namespace selvik {

namespace {

bool songOutOfMemory(Song& song) {
    clear(song);
    reset(&song);
    return false;
}

}  // namespace

bool buildSong(const std::vector<RecognizedNote>& notes, Song& song, const SongTiming& timing) {
    // Twice the span count must still fit the 32-bit event count.
    constexpr std::size_t kMaxSpans = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (notes.size() > kMaxSpans) return songOutOfMemory(song);
    std::unique_ptr<NoteSpan[]> spans(new (std::nothrow) NoteSpan[std::max<std::size_t>(notes.size(), 1)]);
    if (!spans) return songOutOfMemory(song);
    std::int32_t count = 0;
    for (const RecognizedNote& note : notes) {
        if (note.note > 127) continue;
        NoteSpan& span = spans[static_cast<std::size_t>(count++)];
        span.note = note.note;
        span.velocity = std::clamp<std::uint8_t>(note.velocity, 1, 127);
        span.startTick = static_cast<std::int32_t>(secondsToTicks(std::max(0.0, note.startSeconds), timing.tempo, timing.division));
        span.endTick = std::max(span.startTick + 1,
                                static_cast<std::int32_t>(secondsToTicks(std::max(0.0, note.endSeconds), timing.tempo, timing.division)));
    }

    clear(song);
    reset(&song);
    song.tempo = timing.tempo;
    song.division = timing.division;
    song.sequenceName.reset();
    song.notice.reset();
    song.text.reset();
    if (!buildNoteTrack(song.tracks[0], spans.get(), count)) return songOutOfMemory(song);
    countEvents(song);
    computeEndTime(song);
    if (!sortTracks(song)) return songOutOfMemory(song);
    return true;
}

}  // namespace selvik
