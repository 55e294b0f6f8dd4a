#include "midi/ScoreConversion.h"

#include <cmath>
#include <cstddef>
#include <limits>
#include <new>
#include <utility>

#include "recognition/ScoreGrid.h"

namespace selvik {

namespace {

constexpr double kSecondsPerSample = 2.2675736961451248e-05;  // 1 / 44100
constexpr std::uint8_t kSpanVelocity = 100;
constexpr std::uint8_t kNoteOn = 0x90;

bool isNote(std::uint8_t slot) { return slot < 0x80; }

}  // namespace

void removeRepeatedNotes(std::uint8_t* grid, std::int32_t rows) {
    if (grid == nullptr || rows <= 0) {
        return;
    }
    for (std::size_t r = 0; r < static_cast<std::size_t>(rows); ++r) {
        std::uint8_t* row = grid + r * kSlotsPerRow;
        for (int j = 0; j < kSlotsPerRow; ++j) {
            if (!isNote(row[j])) {
                continue;
            }
            for (int k = j + 1; k < kSlotsPerRow; ++k) {
                if (row[k] == row[j]) {
                    row[k] = kEmptySlot;
                }
            }
        }
    }
}

std::uint32_t rowToTicks(std::int32_t row, std::int32_t blockSize, double tempo,
                         std::int32_t division) {
    // The product is formed in double so that long recordings cannot overflow it.
    const double seconds = (static_cast<double>(row) * static_cast<double>(blockSize)) *
                           kSecondsPerSample;
    const double secondsPerTick = (60.0 / tempo) / static_cast<double>(division);
    const double ticks = std::trunc(seconds / secondsPerTick + 0.5);
    // Out-of-range results (absurd inputs, a zero tempo or division) must not be
    // undefined behaviour: NaN gives 0, the rest wraps like a 32-bit register.
    if (std::isnan(ticks)) {
        return 0;
    }
    constexpr double kLimit = 9.2e18;  // inside the range of int64
    if (ticks >= kLimit) {
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(kLimit));
    }
    if (ticks <= -kLimit) {
        return static_cast<std::uint32_t>(static_cast<std::int64_t>(-kLimit));
    }
    return static_cast<std::uint32_t>(static_cast<std::int64_t>(ticks));
}

NoteSpans extractNoteSpans(std::uint8_t* grid, std::int32_t rows, std::int32_t blockSize,
                           double tempo, std::int32_t division) {
    NoteSpans result;
    const std::size_t rowCount = rows > 0 ? static_cast<std::size_t>(rows) : 0;
    // The span count is a 32-bit signed value, and twice it must still fit an
    // event count: refuse grids whose worst case would not.
    constexpr std::size_t kMaxSpans = static_cast<std::size_t>(std::numeric_limits<std::int32_t>::max());
    if (rowCount > kMaxSpans / kSlotsPerRow ||
        rowCount > std::numeric_limits<std::size_t>::max() / sizeof(NoteSpan) / kSlotsPerRow) {
        return result;
    }
    // One allocation of the worst case instead of growing the array.
    result.spans.reset(new (std::nothrow) NoteSpan[rowCount * kSlotsPerRow]);
    if (!result.spans) {
        return result;
    }
    result.ok = true;
    if (grid == nullptr) {
        return result;
    }

    std::size_t count = 0;
    for (std::size_t f = 0; f < rowCount; ++f) {
        const std::uint32_t start =
            rowToTicks(static_cast<std::int32_t>(f), blockSize, tempo, division);
        const std::uint8_t* row = grid + f * kSlotsPerRow;
        for (int j = 0; j < kSlotsPerRow; ++j) {
            const std::uint8_t note = row[j];
            if (!isNote(note)) {
                continue;
            }
            std::size_t k = f + 1;
            for (; k < rowCount; ++k) {
                std::uint8_t* next = grid + k * kSlotsPerRow;
                bool continued = false;
                for (int s = 0; s < kSlotsPerRow; ++s) {
                    if (next[s] == note) {
                        next[s] = kEmptySlot;
                        continued = true;
                    }
                }
                if (!continued) {
                    break;
                }
            }
            NoteSpan& span = result.spans[count++];
            span.note = note;
            span.velocity = kSpanVelocity;
            span.startTick = static_cast<std::int32_t>(start);
            span.endTick = static_cast<std::int32_t>(
                rowToTicks(static_cast<std::int32_t>(k), blockSize, tempo, division));
        }
    }
    result.count = static_cast<std::int32_t>(count);
    return result;
}

bool buildNoteTrack(SongTrack& track, const NoteSpan* spans, std::int32_t count) {
    track.name.reset();
    track.program = 0;
    track.volume = 127;
    track.pan = 64;
    track.reserved = 0;
    track.eventCount = 0;
    track.events.reset();
    if (count <= 0 || spans == nullptr) {
        return true;
    }
    // count is at most 2^31 - 1, so twice it fits the 32-bit event count.
    const std::uint32_t eventCount = 2u * static_cast<std::uint32_t>(count);
    std::unique_ptr<MidiEvent[]> events(new (std::nothrow) MidiEvent[eventCount]);
    if (!events) {
        return false;
    }
    for (std::uint32_t i = 0; i < static_cast<std::uint32_t>(count); ++i) {
        const NoteSpan& span = spans[i];
        events[2 * i] = MidiEvent{static_cast<std::uint32_t>(span.startTick), kNoteOn, span.note,
                                  span.velocity};
        // A note ends with a note-on of velocity 0, as the song is streamed.
        events[2 * i + 1] = MidiEvent{static_cast<std::uint32_t>(span.endTick), kNoteOn, span.note, 0};
    }
    if (!sortEvents(events.get(), eventCount)) {
        return false;
    }
    track.events = std::move(events);
    track.eventCount = eventCount;
    return true;
}

}  // namespace selvik
